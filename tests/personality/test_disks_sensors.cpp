// Mounts, block devices, batteries, logins and the boot time as FreeBSD callers see them,
// checked against what Linux says, and the translations behind them row by row.
#include <sys/mount.h>
#include <sys/sysctl.h>
#include <sys/time.h>

#include <devstat.h>
#include <utmpx.h>

#include "freebsd/sys/dev/acpica/acpi_battery.h"
#include "freebsd/sys/dev/coretemp/coretemp.h"
#include "freebsd/sys/kern/subr_devstat.h"
#include "linux/procfs/diskstats.h"
#include "linux/procfs/mounts.h"
#include "freebsd/sys/kern/vfs_syscalls.h"
#include "test_support.h"
#include "freebsd/lib/libc/gen/utxdb.h"

#include <gtest/gtest.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern "C" {
void lumvik_control_fail(const char *key, int err);
void lumvik_control_grow(const char *key, int times);
void lumvik_control_clear(const char *key);
}

namespace {

using test_support::read_whole;

class System : public ::testing::Test {
protected:
    void TearDown() override { lumvik_control_clear(nullptr); }
};

host::Mount mount_of(std::string fstype, unsigned major, std::string point, std::string options,
                     std::string super = "rw") {
    host::Mount m;
    m.major = major, m.fstype = std::move(fstype), m.mount_point = std::move(point);
    m.mount_options = std::move(options), m.super_options = std::move(super);
    return m;
}

// What FreeBSD's tools compute from a bintime: its upper 32 bits in nanoseconds, then ms.
long long ms_of(const struct bintime &bt) {
    return bt.sec * 1000LL + static_cast<long long>((((bt.frac >> 32) * 1000000000ULL) >> 32) / 1000000ULL);
}

}  // namespace

// --- mounts -----------------------------------------------------------------------------------

TEST(MountFlags, FromOptionsAndKind) {
    const struct {
        host::Mount mount;
        uint64_t flags;
    } rows[] = {
        {mount_of("ext4", 254, "/", "rw,relatime"), MNT_LOCAL | MNT_ROOTFS},
        {mount_of("tmpfs", 0, "/t", "ro,nosuid,nodev,noexec,noatime"),
         MNT_RDONLY | MNT_NOSUID | MNT_NOEXEC | MNT_NOATIME | MNT_LOCAL},
        {mount_of("ext4", 8, "/d", "rw", "ro,sync"), MNT_RDONLY | MNT_SYNCHRONOUS | MNT_LOCAL},
        {mount_of("xfs", 8, "/q", "rw,nosymfollow", "rw,usrquota,acl"), MNT_NOSYMFOLLOW | MNT_QUOTA | MNT_ACLS | MNT_LOCAL},
        {mount_of("btrfs", 0, "/b", "rw", "rw,posixacl"), MNT_ACLS | MNT_LOCAL},
        {mount_of("nfs4", 0, "/n", "rw,noatimex", "rw,vers=4.2"), 0},  // a word that only starts like one
        {mount_of("fuse.sshfs", 0, "/f", "rw,nosuid", "rw,user_id=0"), MNT_NOSUID},
    };
    for (const auto &row : rows)
        EXPECT_EQ(freebsd_mount_flags(row.mount), row.flags) << row.mount.fstype << " " << row.mount.mount_options;
}

TEST(MountFlags, OnlyLocalFileSystemsAreAskedWithoutWaiting) {
    const struct {
        const char *fstype;
        unsigned major;
        bool asked;
    } rows[] = {
        {"ext4", 254, true}, {"tmpfs", 0, true},  {"proc", 0, true},   {"btrfs", 0, true},
        {"nfs", 0, false},   {"cifs", 0, false},  {"fuse.sshfs", 0, false}, {"overlay", 0, false},
        {"fuseblk", 8, false}, {"fusectl", 0, true},
    };
    for (const auto &row : rows)
        EXPECT_EQ(statfs_cannot_hang(mount_of(row.fstype, row.major, "/x", "rw")), row.asked) << row.fstype;
}

TEST(MountFlags, StatfsRecordFromMountAndFigures) {
    host::Mount mount = mount_of("fuse.averyveryverylongtype", 8, "/m", "rw");
    mount.minor = 3, mount.source = std::string(1024, 's');  // one byte too long for FreeBSD's field
    host::FsFigures f{4096, 65536, 100, 50, 40, 30, 20, 255};
    struct statfs st;
    fill_statfs(mount, &f, st);
    const struct {
        const char *field;
        uint64_t got, want;
    } rows[] = {
        {"f_bsize", st.f_bsize, 4096},          {"f_iosize", st.f_iosize, 65536},
        {"f_blocks", st.f_blocks, 100},         {"f_bfree", st.f_bfree, 50},
        {"f_bavail", uint64_t(st.f_bavail), 40}, {"f_files", st.f_files, 30},
        {"f_ffree", uint64_t(st.f_ffree), 20},  {"f_namemax", st.f_namemax, 255},
        {"f_fsid", uint64_t(st.f_fsid.val[0]), (8u << 20) | 3},
        {"f_version", st.f_version, STATFS_VERSION},
    };
    for (const auto &row : rows)
        EXPECT_EQ(row.got, row.want) << row.field;
    EXPECT_STREQ(st.f_fstypename, "fuse.averyveryv");  // cut to 15 and its NUL
    EXPECT_STREQ(st.f_mntfromname, "");                // too long: left unnamed, not cut
    EXPECT_STREQ(st.f_mntonname, "/m");
    fill_statfs(mount, nullptr, st);  // not asked: no figures
    EXPECT_EQ(st.f_blocks, 0u);
    EXPECT_EQ(st.f_bsize, 0u);
}

TEST(Mountinfo, ParsesEscapesAndOptionalFields) {
    auto mounts = host::parse_mountinfo(
        "36 35 98:0 / /mnt/a\\040b rw,noatime master:1 shared:2 - ext3 /dev/my\\134disk rw,errors=continue\n"
        "37 35 0:44 / /t rw - tmpfs tmpfs rw,size=4k\n"
        "garbage line\n");
    ASSERT_EQ(mounts.size(), 2u);
    EXPECT_EQ(mounts[0].mount_point, "/mnt/a b");
    EXPECT_EQ(mounts[0].source, "/dev/my\\disk");
    EXPECT_EQ(mounts[0].major, 98u);
    EXPECT_EQ(mounts[0].fstype, "ext3");
    EXPECT_EQ(mounts[0].super_options, "rw,errors=continue");
    EXPECT_EQ(mounts[1].major, 0u);
    EXPECT_EQ(mounts[1].minor, 44u);
}

TEST_F(System, GetfsstatCountsFillsWhatFitsAndRefusesBadModes) {
    auto expected = host::parse_mountinfo(read_whole("/proc/self/mountinfo"));
    const int count = static_cast<int>(expected.size());
    struct statfs one;
    // No buffer, or no room at all: the count, nothing written.
    for (struct statfs *buf : {static_cast<struct statfs *>(nullptr), &one}) {
        EXPECT_EQ(getfsstat(buf, 0, MNT_NOWAIT), count);
        EXPECT_EQ(getfsstat(buf, 0, MNT_WAIT), count);
    }
    EXPECT_EQ(getfsstat(nullptr, sizeof(one), MNT_NOWAIT), count);

    std::vector<struct statfs> all(expected.size() + 2);
    const long room = static_cast<long>(all.size() * sizeof(struct statfs));
    ASSERT_EQ(getfsstat(all.data(), room, MNT_NOWAIT), count);
    for (int i = 0; i < count; ++i) {
        EXPECT_STREQ(all[i].f_mntonname, expected[i].mount_point.c_str());
        EXPECT_STREQ(all[i].f_mntfromname, expected[i].source.c_str());
        EXPECT_EQ(all[i].f_version, static_cast<uint32_t>(STATFS_VERSION));
        if (geteuid() != 0)  // the file-system id is for the privileged only
            EXPECT_EQ(all[i].f_fsid.val[0] | all[i].f_fsid.val[1], 0) << all[i].f_mntonname;
    }

    // MNT_WAIT asks every file system and leaves out, uncounted, those whose statfs fails.
    std::vector<host::Mount> answering;
    for (const host::Mount &m : expected)
        if (struct statvfs v; statvfs(m.mount_point.c_str(), &v) == 0)
            answering.push_back(m);
    ASSERT_EQ(getfsstat(all.data(), room, MNT_WAIT), static_cast<int>(answering.size()));
    for (size_t i = 0; i < answering.size(); ++i)
        EXPECT_STREQ(all[i].f_mntonname, answering[i].mount_point.c_str());
    struct statvfs root;
    ASSERT_EQ(statvfs("/", &root), 0);
    for (size_t i = 0; i < answering.size(); ++i)
        if (std::strcmp(all[i].f_mntonname, "/") == 0) {
            EXPECT_EQ(all[i].f_bsize, root.f_frsize);
            EXPECT_EQ(all[i].f_blocks, root.f_blocks);
        }

    // One record and a bit: one record filled, the byte after it untouched.
    std::vector<unsigned char> small(sizeof(struct statfs) + 100, 0xa5);
    EXPECT_EQ(getfsstat(reinterpret_cast<struct statfs *>(small.data()), static_cast<long>(small.size()), MNT_NOWAIT),
              count > 0 ? 1 : 0);
    EXPECT_EQ(small[sizeof(struct statfs)], 0xa5);
    EXPECT_EQ(getfsstat(&one, sizeof(one) - 1, MNT_NOWAIT), 0);

    const struct {
        struct statfs *buf;
        long bufsize;
        int mode;
    } refused[] = {{&one, sizeof(one), 7}, {nullptr, 0, 0}, {&one, -1, MNT_NOWAIT}, {nullptr, -1, MNT_NOWAIT}};
    for (const auto &r : refused) {
        errno = 0;
        EXPECT_EQ(getfsstat(r.buf, r.bufsize, r.mode), -1) << r.bufsize << " " << r.mode;
        EXPECT_EQ(errno, EINVAL);
    }
    lumvik_control_fail("getfsstat", EIO);
    errno = 0;
    EXPECT_EQ(getfsstat(nullptr, 0, MNT_NOWAIT), -1);
    EXPECT_EQ(errno, EIO);
}

// --- block devices ----------------------------------------------------------------------------

TEST(Diskstats, ParsesEveryKernelsLineLength) {
    auto disks = host::parse_diskstats(
        "   8       0 sda 10 1 80 7 20 2 160 9 3 40 50\n"
        "   8       1 sda1 10 1 80 7 20 2 160 9 0 40 50 4 0 16 5\n"
        " 259       0 nvme0n1 10 1 80 7 20 2 160 9 0 40 50 4 0 16 5 6 11\n"
        "   8\n");
    ASSERT_EQ(disks.size(), 3u);
    EXPECT_EQ(disks[0].reads, 10u);
    EXPECT_EQ(disks[0].read_sectors, 80u);
    EXPECT_EQ(disks[0].write_ms, 9u);
    EXPECT_EQ(disks[0].in_flight, 3u);
    EXPECT_EQ(disks[0].busy_ms, 40u);
    EXPECT_EQ(disks[0].discards, 0u);
    EXPECT_EQ(disks[1].discard_sectors, 16u);
    EXPECT_EQ(disks[1].flushes, 0u);
    EXPECT_EQ(disks[2].flushes, 6u);
    EXPECT_EQ(disks[2].flush_ms, 11u);
}

TEST(Devstat, MillisecondsSurviveTheBintimeRoundTrip) {
    for (uint64_t ms : {0ULL, 1ULL, 2ULL, 499ULL, 500ULL, 999ULL, 1000ULL, 1001ULL, 123456789ULL, 4294967295999ULL}) {
        struct bintime bt = bintime_from_ms(ms);
        EXPECT_EQ(bt.sec, static_cast<time_t>(ms / 1000)) << ms;
        EXPECT_EQ(ms_of(bt), static_cast<long long>(ms)) << ms;
    }
}

TEST(Devstat, DeviceNamesSplitIntoDriverAndUnit) {
    const struct {
        const char *linux_name, *name;
        int unit;
    } rows[] = {
        {"nvme0n1", "nvme0n", 1}, {"sda1", "sda", 1}, {"loop7", "loop", 7},  {"dm-0", "dm-", 0},
        {"sda", "sd", 0},         {"vdb", "vd", 1},   {"sdaa", "sd", 26},    {"xvdc", "xvd", 2},
        {"sr0", "sr", 0},         {"fd", "fd", 0},    {"averyveryverylongname", "averyveryverylo", 0},
    };
    for (const auto &row : rows) {
        char name[DEVSTAT_NAME_LEN];
        int unit = -1;
        split_device_name(row.linux_name, name, unit);
        EXPECT_STREQ(name, row.name) << row.linux_name;
        EXPECT_EQ(unit, row.unit) << row.linux_name;
    }
}

TEST(Devstat, RecordCountsBytesAndTimesByTransferKind) {
    host::DiskStats d;
    d.name = "vda";
    d.reads = 3, d.read_sectors = 8, d.read_ms = 1500;
    d.writes = 4, d.write_sectors = 16, d.write_ms = 7;
    d.discards = 5, d.discard_sectors = 2, d.discard_ms = 9;
    d.flushes = 6, d.flush_ms = 11, d.in_flight = 2, d.busy_ms = 2500;
    struct devstat ds;
    fill_devstat(d, ds);
    const struct {
        int kind;
        uint64_t operations, bytes;
        long long ms;
    } rows[] = {{DEVSTAT_NO_DATA, 6, 0, 11}, {DEVSTAT_READ, 3, 4096, 1500}, {DEVSTAT_WRITE, 4, 8192, 7},
                {DEVSTAT_FREE, 5, 1024, 9}};
    for (const auto &row : rows) {
        EXPECT_EQ(ds.operations[row.kind], row.operations) << row.kind;
        EXPECT_EQ(ds.bytes[row.kind], row.bytes) << row.kind;
        EXPECT_EQ(ms_of(ds.duration[row.kind]), row.ms) << row.kind;
    }
    EXPECT_EQ(ms_of(ds.busy_time), 2500);
    EXPECT_EQ(ds.start_count - ds.end_count, 2u);  // in flight
    EXPECT_STREQ(ds.device_name, "vd");
}

TEST_F(System, GetdevsListsEveryDiskAndRetriesAGrowingList) {
    ASSERT_EQ(devstat_checkversion(nullptr), 0);
    auto disks = host::parse_diskstats(read_whole("/proc/diskstats"));
    lumvik_control_grow("kern.devstat.all", 2);
    struct devinfo info = {};
    struct statinfo stats = {};
    stats.dinfo = &info;
    EXPECT_EQ(devstat_getdevs(nullptr, &stats), 1);  // a first list is a changed list
    ASSERT_EQ(info.numdevs, static_cast<int>(disks.size()));
    EXPECT_EQ(reinterpret_cast<unsigned char *>(info.devices), info.mem_ptr + sizeof(long));
    for (int i = 0; i < info.numdevs; ++i)
        EXPECT_GE(info.devices[i].operations[DEVSTAT_READ], disks[i].reads);
    EXPECT_EQ(devstat_getdevs(nullptr, &stats), 0);  // the same devices again

    lumvik_control_grow("kern.devstat.all", 100);  // never settles: the library gives up
    EXPECT_EQ(devstat_getdevs(nullptr, &stats), -1);
    std::free(info.mem_ptr);

    lumvik_control_fail("kern.devstat.version", EIO);
    EXPECT_EQ(devstat_checkversion(nullptr), -1);
    EXPECT_NE(std::strstr(devstat_errbuf, "kern.devstat.version"), nullptr);
}

// --- batteries --------------------------------------------------------------------------------

TEST(AcpiPower, FromThePowerSupplies) {
    auto battery = [](const char *status, int64_t now, int64_t full, int64_t rate) {
        host::PowerSupply s;
        s.type = "Battery", s.status = status, s.present = 1;
        s.energy_now = now, s.energy_full = full, s.power_now = rate;
        return s;
    };
    host::PowerSupply mains_on, mains_off, mouse = battery("Discharging", 1, 2, 1), charge_only;
    mains_on.type = mains_off.type = "Mains";
    mains_on.online = 1, mains_off.online = 0;
    mouse.scope = "Device";
    charge_only.type = "Battery", charge_only.status = "Discharging", charge_only.present = 1;
    charge_only.charge_now = 2000, charge_only.charge_full = 4000, charge_only.current_now = 1000;
    const struct {
        std::vector<host::PowerSupply> supplies;
        bool battery, acline_known;
        int life, time, acline;
    } rows[] = {
        {{}, false, false, -1, -1, 0},
        {{mains_on}, false, true, -1, -1, 1},
        {{mouse}, false, false, -1, -1, 0},
        {{battery("Discharging", 30, 60, 15), mains_off}, true, true, 50, 120, 0},
        {{battery("Charging", 30, 60, 15), mains_on}, true, true, 50, -1, 1},
        {{battery("Full", 60, 60, 0)}, true, true, 100, -1, 1},  // no adapter: the battery tells
        {{battery("Discharging", 10, 40, 5), battery("Discharging", 30, 40, 5)}, true, true, 50, 240, 0},
        {{charge_only}, true, true, 50, 120, 0},
        {{battery("Discharging", 70, 60, 0)}, true, true, 100, -1, 0},  // a worn battery overfull, no rate
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        AcpiPower p = acpi_power_from(rows[i].supplies);
        EXPECT_EQ(p.has_battery, rows[i].battery) << i;
        EXPECT_EQ(p.has_acline, rows[i].acline_known) << i;
        EXPECT_EQ(p.life, rows[i].life) << i;
        EXPECT_EQ(p.time, rows[i].time) << i;
        EXPECT_EQ(p.acline, rows[i].acline) << i;
    }
}

TEST(AcpiPower, ReadsUeventFiles) {
    auto dir = std::filesystem::temp_directory_path() / ("power_supply." + std::to_string(getpid()));
    std::filesystem::create_directories(dir / "BAT0");
    std::ofstream(dir / "BAT0" / "uevent") << "POWER_SUPPLY_NAME=BAT0\nPOWER_SUPPLY_TYPE=Battery\n"
                                              "POWER_SUPPLY_STATUS=Discharging\nPOWER_SUPPLY_PRESENT=1\n"
                                              "POWER_SUPPLY_ENERGY_NOW=25000000\nPOWER_SUPPLY_ENERGY_FULL=50000000\n"
                                              "POWER_SUPPLY_POWER_NOW=10000000\nPOWER_SUPPLY_CAPACITY=50\n";
    auto supplies = host::read_power_supplies(dir.c_str());
    std::filesystem::remove_all(dir);
    ASSERT_EQ(supplies.size(), 1u);
    AcpiPower p = acpi_power_from(supplies);
    EXPECT_EQ(p.life, 50);
    EXPECT_EQ(p.time, 150);
    EXPECT_EQ(p.acline, 0);
}

// --- temperatures -----------------------------------------------------------------------------

TEST(CpuTemperature, TenthsOfAKelvinFromMillidegrees) {
    const struct {
        int64_t millicelsius;
        int decikelvin;
    } rows[] = {{0, 2731}, {50000, 3231}, {49999, 3231}, {49949, 3230}, {-1000, 2721}, {-50, 2730}, {105000, 3781}};
    for (const auto &row : rows)
        EXPECT_EQ(decikelvin_from_millicelsius(row.millicelsius), row.decikelvin) << row.millicelsius;
}

TEST(CpuTemperature, TheCpusOwnSensorFirst) {
    auto sensor = [](const char *label, int64_t input, int64_t crit = -1) {
        return host::TempSensor{label, input, crit >= 0, crit};
    };
    host::HwmonChip package0{"coretemp", 0, {sensor("Package id 0", 60000, 100000), sensor("Core 1", 55000, 100000)}};
    host::HwmonChip package1{"coretemp", 1, {sensor("Package id 1", 70000, 90000), sensor("Core 1", 65000, 90000)}};
    host::HwmonChip k10{"k10temp", -1, {sensor("Tctl", 50000), sensor("Tdie", 40000)}};
    host::HwmonChip nvme{"nvme", -1, {sensor("Composite", 30000, 80000)}};
    host::ThermalZone acpi{"acpitz", sensor("", 20000, 95000)}, pkg{"x86_pkg_temp", sensor("", 45000, 99000)};
    const struct {
        host::CpuPlace place;
        std::vector<host::HwmonChip> chips;
        std::vector<host::ThermalZone> zones;
        bool has_current, has_tjmax;
        int current, tjmax;
    } rows[] = {
        {{0, 1}, {package0, package1}, {}, true, true, 3281, 3731},
        {{1, 1}, {package0, package1}, {}, true, true, 3381, 3631},
        {{1, 7}, {package0, package1}, {}, true, true, 3431, 3631},  // no channel of its core: the package's
        {{0, 0}, {nvme, k10}, {}, true, false, 3131, 0},
        {{0, 0}, {nvme}, {acpi, pkg}, true, true, 3181, 3721},
        {{0, 0}, {nvme}, {acpi}, false, false, 0, 0},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        CpuTemperature t = cpu_temperature_from(rows[i].place, rows[i].chips, rows[i].zones);
        EXPECT_EQ(t.has_current, rows[i].has_current) << i;
        EXPECT_EQ(t.has_tjmax, rows[i].has_tjmax) << i;
        EXPECT_EQ(t.current, rows[i].current) << i;
        EXPECT_EQ(t.tjmax, rows[i].tjmax) << i;
    }
}

TEST(CpuTemperature, ReadsHwmonAndThermalClasses) {
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / ("thermal." + std::to_string(getpid()));
    auto write = [](const fs::path &path, const char *text) {
        fs::create_directories(path.parent_path());
        std::ofstream(path) << text;
    };
    write(dir / "devices/coretemp.1/hwmon/hwmon3/name", "coretemp\n");
    write(dir / "devices/coretemp.1/hwmon/hwmon3/temp2_input", "41000\n");
    write(dir / "devices/coretemp.1/hwmon/hwmon3/temp2_label", "Core 0\n");
    write(dir / "devices/coretemp.1/hwmon/hwmon3/temp2_crit", "100000\n");
    write(dir / "devices/coretemp.1/hwmon/hwmon3/temp10_input", "43000\n");
    fs::create_directories(dir / "hwmon");
    fs::create_directory_symlink("../devices/coretemp.1/hwmon/hwmon3", dir / "hwmon/hwmon3");
    fs::create_directory_symlink("../../../coretemp.1", dir / "devices/coretemp.1/hwmon/hwmon3/device");
    write(dir / "thermal/thermal_zone0/type", "x86_pkg_temp\n");
    write(dir / "thermal/thermal_zone0/temp", "44000\n");
    write(dir / "thermal/thermal_zone0/trip_point_0_type", "passive\n");
    write(dir / "thermal/thermal_zone0/trip_point_0_temp", "90000\n");
    write(dir / "thermal/thermal_zone0/trip_point_1_type", "critical\n");
    write(dir / "thermal/thermal_zone0/trip_point_1_temp", "99000\n");
    auto chips = host::read_hwmon((dir / "hwmon").c_str());
    auto zones = host::read_thermal_zones((dir / "thermal").c_str());
    fs::remove_all(dir);

    ASSERT_EQ(chips.size(), 1u);
    EXPECT_EQ(chips[0].name, "coretemp");
    EXPECT_EQ(chips[0].instance, 1);
    ASSERT_EQ(chips[0].sensors.size(), 2u);  // by channel number: 2, then 10
    EXPECT_EQ(chips[0].sensors[0].label, "Core 0");
    EXPECT_EQ(chips[0].sensors[0].crit, 100000);
    EXPECT_FALSE(chips[0].sensors[1].has_crit);
    ASSERT_EQ(zones.size(), 1u);
    EXPECT_EQ(zones[0].reading.input, 44000);
    EXPECT_EQ(zones[0].reading.crit, 99000);
}

TEST_F(System, TemperatureNodesAreAbsentWithoutSensors) {
    int value = 0;
    size_t len = sizeof(value);
    errno = 0;
    int rc = sysctlbyname("dev.cpu.0.temperature", &value, &len, nullptr, 0);
    bool sensors = !host::read_hwmon().empty() || !host::read_thermal_zones().empty();
    if (!sensors) {
        EXPECT_EQ(rc, -1);
        EXPECT_EQ(errno, ENOENT);
    }
    errno = 0;
    EXPECT_EQ(sysctlbyname("dev.cpu.99999.temperature", &value, &len, nullptr, 0), -1);  // no such CPU
    EXPECT_EQ(errno, ENOENT);
}

// --- logins and boot ---------------------------------------------------------------------------

TEST(Utmpx, TypesAndFieldsInFreeBSDsForm) {
    const struct {
        short host, freebsd;
    } types[] = {{host::kUtEmpty, EMPTY},           {host::kUtRunLevel, EMPTY},
                 {host::kUtBootTime, BOOT_TIME},     {host::kUtNewTime, NEW_TIME},
                 {host::kUtOldTime, OLD_TIME},       {host::kUtInitProcess, INIT_PROCESS},
                 {host::kUtLoginProcess, LOGIN_PROCESS}, {host::kUtUserProcess, USER_PROCESS},
                 {host::kUtDeadProcess, DEAD_PROCESS}, {host::kUtAccounting, EMPTY}};
    for (const auto &t : types)
        EXPECT_EQ(freebsd_utmp_type(t.host), t.freebsd) << t.host;

}

// Texts end one byte short of their field, always with a NUL; ut_id is 8 raw bytes.
TEST(Utmpx, TextsAlwaysEndWithANul) {
    host::UtmpEntry e;
    e.type = host::kUtUserProcess, e.pid = 42, e.sec = 1700000000, e.usec = 5;
    e.user = std::string(32, 'u'), e.line = "pts/12345678901234567", e.host = std::string(200, 'h');
    e.id = "12345678";
    struct utmpx ut;
    std::memset(&ut, 0xa5, sizeof(ut));
    fill_utmpx(e, ut);
    EXPECT_EQ(std::string(ut.ut_user), std::string(31, 'u'));
    EXPECT_EQ(std::string(ut.ut_line), e.line.substr(0, 15));
    EXPECT_EQ(std::string(ut.ut_host), std::string(127, 'h'));
    EXPECT_EQ(std::string(ut.ut_id, sizeof(ut.ut_id)), "12345678");
    EXPECT_EQ(ut.ut_pid, 42);
    EXPECT_EQ(ut.ut_tv.tv_sec, 1700000000);
    EXPECT_EQ(ut.ut_tv.tv_usec, 5);
}

// Each type carries only its own fields, as futx_to_utx fills them.
TEST(Utmpx, EachTypeCarriesItsFields) {
    const struct {
        short host;
        bool time, id_pid, user_line, host_name;
    } rows[] = {
        {host::kUtBootTime, true, false, false, false},    {host::kUtOldTime, true, false, false, false},
        {host::kUtNewTime, true, false, false, false},     {host::kUtUserProcess, true, true, true, true},
        {host::kUtInitProcess, true, true, false, false},  {host::kUtLoginProcess, true, true, true, false},
        {host::kUtDeadProcess, true, true, false, false},  {host::kUtRunLevel, false, false, false, false},
        {host::kUtAccounting, false, false, false, false}, {host::kUtEmpty, false, false, false, false},
    };
    for (const auto &row : rows) {
        host::UtmpEntry e;
        e.type = row.host, e.pid = 42, e.sec = 1700000000, e.usec = 5;
        e.user = "reboot", e.line = "~", e.host = "6.1.0-kernel", e.id = "~~";
        struct utmpx ut;
        std::memset(&ut, 0xa5, sizeof(ut));
        fill_utmpx(e, ut);
        EXPECT_EQ(ut.ut_tv.tv_sec, row.time ? 1700000000 : 0) << row.host;
        EXPECT_EQ(ut.ut_tv.tv_usec, row.time ? 5 : 0) << row.host;
        EXPECT_EQ(ut.ut_pid, row.id_pid ? 42 : 0) << row.host;
        EXPECT_STREQ(ut.ut_id, row.id_pid ? "~~" : "") << row.host;
        EXPECT_STREQ(ut.ut_user, row.user_line ? "reboot" : "") << row.host;
        EXPECT_STREQ(ut.ut_line, row.user_line ? "~" : "") << row.host;
        EXPECT_STREQ(ut.ut_host, row.host_name ? "6.1.0-kernel" : "") << row.host;
    }
}

TEST_F(System, BoottimeIsTheKernelsBtime) {
    struct timeval boot = {};
    size_t len = sizeof(boot);
    const int mib[] = {CTL_KERN, KERN_BOOTTIME};
    ASSERT_EQ(sysctl(mib, 2, &boot, &len, nullptr, 0), 0);
    EXPECT_EQ(len, sizeof(boot));
    EXPECT_EQ(boot.tv_sec, test_support::kernel_btime());
    EXPECT_EQ(boot.tv_usec, 0);
}
