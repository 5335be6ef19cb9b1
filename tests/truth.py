"""What Linux itself says, from /proc and /sys, read with os.open and os.read: a buffered file
costs this interpreter far more on a busy machine, where the suite must still be quick."""
import os


def read_bytes(path):
    fd = os.open(path, os.O_RDONLY | os.O_CLOEXEC)
    try:
        chunks = []
        while chunk := os.read(fd, 1 << 16):
            chunks.append(chunk)
        return b"".join(chunks)
    finally:
        os.close(fd)


def read_text(path):
    """The file as str, decoded as the file system's names are."""
    return os.fsdecode(read_bytes(path))


def read_lines(path):
    return read_text(path).splitlines()
