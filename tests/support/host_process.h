#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

// The headless host as a child process, spoken to through its framed standard input and output.
class HostProcess {
public:
    // A memory limit (in KiB, as `ulimit -v` takes it) is left out in the sanitizer build, whose shadow memory
    // needs more address space than any sane limit.
    explicit HostProcess(const std::vector<std::string>& arguments, long memory_limit_kib = 0);
    ~HostProcess();
    HostProcess(const HostProcess&) = delete;
    HostProcess& operator=(const HostProcess&) = delete;

    void send(const std::string& request);
    // Bytes as they are, framed or not.
    void send_bytes(const std::string& bytes);
    // The next reply; throws when none arrives in time.
    std::string receive(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // send, then receive.
    std::string request(const std::string& request);
    // Closes standard input and waits for the exit code; what the host wrote to standard error is kept.
    int finish();
    const std::string& errors() const { return errors_; }

private:
    bool read_some(std::string& buffer, int fd, std::chrono::milliseconds timeout);

    pid_t pid_ = -1;
    int input_ = -1;
    int output_ = -1;
    int error_ = -1;
    std::string pending_;
    std::string errors_;
};
