// What the C++ tests of the personality share: whole-file reads done without the readers
// under test, and a second thread of this process parked in a known state.
#pragma once
#include <gtest/gtest.h>
#include <pthread.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <future>
#include <latch>
#include <sstream>
#include <string>
#include <thread>

namespace test_support {

inline std::string read_whole(const std::string &path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The state letter of a stat file.
inline char state_of(const std::string &stat_path) {
    std::string text = read_whole(stat_path);
    size_t close = text.rfind(')');
    return close != std::string::npos && close + 2 < text.size() ? text[close + 2] : '?';
}

// Polls until done() holds, for a minute at most (a bound against hangs on a loaded machine,
// not a guess at how long it takes); false if it never held.
template <class Done>
bool wait_until(Done done) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// A pid with no entry under /proc, searched downwards from the top of the pid space.
inline int absent_pid() {
    int pid_max = std::atoi(read_whole("/proc/sys/kernel/pid_max").c_str());
    for (int pid = pid_max - 1; pid > 1; --pid)
        if (access(("/proc/" + std::to_string(pid)).c_str(), F_OK) != 0)
            return pid;
    return -1;
}

// The kernel's boot time, the btime line of /proc/stat; -1 when missing.
inline long long kernel_btime() {
    std::istringstream stat(read_whole("/proc/stat"));
    std::string key;
    long long btime = -1;
    while (stat >> key)
        if (key == "btime" && stat >> btime)
            break;
    return btime;
}

// A second thread of this process, optionally named, alive (blocked) until the object goes.
class ParkedThread {
public:
    explicit ParkedThread(const char *name = nullptr) {
        std::promise<int> started;
        std::future<int> tid = started.get_future();
        thread_ = std::thread([this, name, started = std::move(started)]() mutable {
            if (name != nullptr)
                pthread_setname_np(pthread_self(), name);
            started.set_value(gettid());
            release_.wait();
        });
        tid_ = tid.get();
        // Wait until it sleeps on the latch, so that its state and switch count are known.
        std::string path = "/proc/self/task/" + std::to_string(tid_) + "/stat";
        if (!wait_until([&] { return state_of(path) == 'S'; }))
            ADD_FAILURE() << "thread " << tid_ << " never blocked; its state: " << state_of(path);
    }
    ~ParkedThread() {
        release_.count_down();
        thread_.join();
    }
    int tid() const { return tid_; }

private:
    std::latch release_{1};
    std::thread thread_;
    int tid_ = 0;
};

}  // namespace test_support
