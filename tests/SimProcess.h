#pragma once

// switchersim run as a process of its own, driven through its standard input,
// so that a ThreadSanitizer test instruments only our code.
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

class TSimProcess {
public:
    explicit TSimProcess(const std::vector<std::string>& chassis) {
        int in[2], out[2];
        if (pipe(in) != 0 || pipe(out) != 0)
            return;
        FPid = fork();
        if (FPid == 0) {
            dup2(in[0], 0);
            dup2(out[1], 1);
            close(in[1]);
            close(out[0]);
            std::vector<std::string> args{SWITCHERSIM_PATH};
            for (const std::string& c : chassis) {
                args.push_back("--chassis");
                args.push_back(c);
            }
            std::vector<char*> argv;
            for (auto& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            setenv("QT_QPA_PLATFORM", "offscreen", 1);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        FIn = fdopen(in[1], "w");
        FOut = fdopen(out[0], "r");
        // One line per chassis once it listens.
        for (std::size_t i = 0; i < chassis.size(); ++i)
            ReadLine();
    }
    ~TSimProcess() {
        if (FIn) {
            std::fputs("quit\n", FIn);
            std::fclose(FIn);
        }
        if (FPid > 0) {
            kill(FPid, SIGTERM);
            int status = 0;
            waitpid(FPid, &status, 0);
        }
        if (FOut)
            std::fclose(FOut);
    }
    bool Running() const { return FPid > 0 && FOut; }

    // Sends one command and returns the lines it printed up to its "ok".
    std::vector<std::string> Command(const std::string& line) {
        std::fputs((line + "\n").c_str(), FIn);
        std::fflush(FIn);
        std::vector<std::string> lines;
        for (;;) {
            const std::string l = ReadLine();
            if (l.empty() || l == "ok" || l.rfind("error", 0) == 0)
                break;
            lines.push_back(l);
        }
        return lines;
    }

    std::string ReadLine() {
        char buf[65536];
        if (!FOut || !std::fgets(buf, sizeof buf, FOut))
            return {};
        std::string s(buf);
        while (!s.empty() && (s.back() == '\n' || s.back() == '\r'))
            s.pop_back();
        return s;
    }

private:
    pid_t FPid = -1;
    FILE* FIn = nullptr;
    FILE* FOut = nullptr;
};

// A loopback address of this process alone: 127.X.Y.n.
inline std::string PlainSimAddress(int n) {
    const int pid = static_cast<int>(getpid());
    return "127." + std::to_string(20 + pid % 200) + "." + std::to_string((pid / 200) % 250) + "." +
           std::to_string(n);
}

// The packed form of such an address (first number in the lowest byte).
inline int PackedAddress(const std::string& dotted) {
    unsigned parts[4] = {0, 0, 0, 0};
    std::sscanf(dotted.c_str(), "%u.%u.%u.%u", &parts[0], &parts[1], &parts[2], &parts[3]);
    return static_cast<int>(parts[0] | (parts[1] << 8) | (parts[2] << 16) | (parts[3] << 24));
}
