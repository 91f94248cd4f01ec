#pragma once
// What the benchmarks share: the simulated LM in a child process (started before any
// thread of the benchmark exists), so that the benchmark process's CPU time is the
// program's alone; a private program folder for the main window; a way to give up with
// the system's reason.
#include "sim/SimulatedLm.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

namespace bench {

[[noreturn]] inline void Die(const std::string& what)
{
    std::fprintf(stderr, "%s: %s: %s\n", program_invocation_short_name, what.c_str(), std::strerror(errno));
    std::exit(1);
}

// The simulated LM in a child process, driven through two pipes with one-line commands:
// "wire 0" / "wire 1" switch wire time, "count" answers the requests taken so far.
class SimChild {
public:
    SimChild()
    {
        int toChild[2], fromChild[2];
        if (pipe(toChild) != 0 || pipe(fromChild) != 0)
            Die("pipe");
        pid_ = fork();
        if (pid_ < 0)
            Die("fork");
        if (pid_ == 0) {
            close(toChild[1]);
            close(fromChild[0]);
            RunChild(toChild[0], fromChild[1]);
        }
        close(toChild[0]);
        close(fromChild[1]);
        out_ = toChild[1];
        in_ = fromChild[0];
        path_ = ReadLine();
    }
    ~SimChild()
    {
        close(out_);
        close(in_);
        int status = 0;
        waitpid(pid_, &status, 0);
    }
    SimChild(const SimChild&) = delete;
    SimChild& operator=(const SimChild&) = delete;

    const std::string& Path() const { return path_; }
    void SetWireTiming(bool on) { Command(on ? "wire 1" : "wire 0"); }
    long Requests() { return std::stol(Command("count")); }

private:
    [[noreturn]] static void RunChild(int in, int out)
    {
        int code = 0;
        try {
            tessek::sim::SimulatedLm lm;
            lm.SetQuiet(true);
            tessek::sim::LmMemory memory{};
            for (int a = 0; a < 256; ++a)
                memory[a] = static_cast<uint8_t>(a ^ 0x5A);
            lm.SetMemory(memory);
            Reply(out, lm.SlavePath());
            std::string line;
            char c;
            while (read(in, &c, 1) == 1) {
                if (c != '\n') {
                    line += c;
                    continue;
                }
                if (line == "count")
                    Reply(out, std::to_string(lm.RequestCount()));
                else {
                    lm.SetWireTiming(line == "wire 1");
                    Reply(out, "ok");
                }
                line.clear();
            }
            lm.Stop();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s: simulator: %s\n", program_invocation_short_name, e.what());
            code = 1;
        }
        _exit(code);
    }
    static void Reply(int fd, const std::string& text)
    {
        const std::string line = text + "\n";
        if (write(fd, line.data(), line.size()) != static_cast<ssize_t>(line.size()))
            _exit(1);
    }
    std::string Command(const std::string& command)
    {
        const std::string line = command + "\n";
        if (write(out_, line.data(), line.size()) != static_cast<ssize_t>(line.size()))
            Die("write to simulator");
        return ReadLine();
    }
    std::string ReadLine()
    {
        std::string line;
        char c;
        while (true) {
            const ssize_t n = read(in_, &c, 1);
            if (n != 1)
                Die("simulator ended");
            if (c == '\n')
                return line;
            line += c;
        }
    }

    pid_t pid_ = -1;
    int out_ = -1;
    int in_ = -1;
    std::string path_;
};

// A private program folder whose Tessek.ini names `port` and logs eight real addresses
// (RPM and MPH take two requests each: 10 requests per sample); removed at the end.
class BenchFolder {
public:
    explicit BenchFolder(const std::string& port)
    {
        char folder[] = "/tmp/tessek-bench-XXXXXX";
        if (mkdtemp(folder) == nullptr)
            Die("mkdtemp");
        path_ = std::string(folder) + "/";
        std::ofstream ini(path_ + "Tessek.ini");
        ini << "[ComPort]\nPort=" << port << "\n[CurrentSet]\n1=8F\n2=69\n3=86\n4=9A\n5=98\n6=A0\n7=72\n8=9C\n"
            << "[AutoSave]\nSaveNum=1\n";
    }
    ~BenchFolder()
    {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    BenchFolder(const BenchFolder&) = delete;
    BenchFolder& operator=(const BenchFolder&) = delete;

    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

}  // namespace bench
