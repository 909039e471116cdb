#include "tests/support/host_process.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

namespace {

#ifdef __SANITIZE_ADDRESS__
constexpr bool address_sanitizer = true;
#else
constexpr bool address_sanitizer = false;
#endif

void write_all(int fd, const std::string& text) {
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n <= 0) throw std::runtime_error("cannot write to the host");
        done += static_cast<std::size_t>(n);
    }
}

}  // namespace

HostProcess::HostProcess(const std::vector<std::string>& arguments, long memory_limit_kib) {
    int in[2], out[2], err[2];
    // Close-on-exec, so that a later host does not hold this one's pipes open.
    if (pipe2(in, O_CLOEXEC) || pipe2(out, O_CLOEXEC) || pipe2(err, O_CLOEXEC)) throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    std::vector<std::string> args{PELLUCAN_HOST};
    // The shell sets the limit and then becomes the host.
    if (memory_limit_kib > 0 && !address_sanitizer)
        args = {"/bin/sh", "-c", "ulimit -v " + std::to_string(memory_limit_kib) + " && exec \"$0\" \"$@\"",
                PELLUCAN_HOST};
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const int spawned = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    close(err[1]);
    input_ = in[1];
    output_ = out[0];
    error_ = err[0];
    if (spawned != 0) throw std::runtime_error("cannot start " PELLUCAN_HOST);
}

HostProcess::~HostProcess() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    for (int fd : {input_, output_, error_})
        if (fd >= 0) close(fd);
}

void HostProcess::send(const std::string& request) { send_bytes(std::to_string(request.size()) + "\n" + request); }

void HostProcess::send_bytes(const std::string& bytes) { write_all(input_, bytes); }

bool HostProcess::read_some(std::string& buffer, int fd, std::chrono::milliseconds timeout) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(timeout.count())) <= 0) return false;
    char chunk[65536];
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n <= 0) return false;
    buffer.append(chunk, static_cast<std::size_t>(n));
    return true;
}

std::string HostProcess::receive(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const std::size_t newline = pending_.find('\n');
        if (newline != std::string::npos) {
            const std::size_t length = std::stoul(pending_.substr(0, newline));
            if (pending_.size() >= newline + 1 + length) {
                std::string reply = pending_.substr(newline + 1, length);
                pending_.erase(0, newline + 1 + length);
                return reply;
            }
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !read_some(pending_, output_, left))
            throw std::runtime_error("no reply from the host");
    }
}

std::string HostProcess::request(const std::string& request) {
    send(request);
    return receive();
}

int HostProcess::finish() {
    close(input_);
    input_ = -1;
    while (read_some(errors_, error_, std::chrono::seconds(10))) {
    }
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
