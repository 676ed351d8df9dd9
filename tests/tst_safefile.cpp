// Reading and saving the operator's files: regular files only, and a save
// never loses the previous file, even when the process is killed during it.
#include "PlainTest.h"
#include "SafeFile.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

std::string MakeDir() {
    char t[] = "/tmp/tst_safefile.XXXXXX";
    const char* d = ::mkdtemp(t);
    if (d)
        ::chmod(d, 0755); // the save under another user id must reach its folder
    return d ? std::string(d) : std::string();
}

void Put(const std::string& path, const std::string& text, mode_t mode = 0644) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    ::chmod(path.c_str(), mode);
}

std::string Get(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

mode_t Mode(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

int CountTemporaries(const std::string& dir) {
    int n = 0;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* e = ::readdir(d))
            if (std::string(e->d_name).rfind("f.ini.", 0) == 0)
                ++n;
        ::closedir(d);
    }
    return n;
}

void Reading(const std::string& dir) {
    std::string data, error;
    const std::string file = dir + "/read.ini";
    Put(file, "[A]\nX=1\n");
    CHECK(safefile::ReadRegular(file, 100, data, &error) && data == "[A]\nX=1\n");
    CHECK(!safefile::ReadRegular(dir + "/missing", 100, data, &error) && data.empty());
    CHECK(!safefile::ReadRegular(dir, 100, data, &error) && error == "not a regular file");
    CHECK(!safefile::ReadRegular(file, 7, data, &error) && data.empty());
    // A FIFO nobody writes to is refused at once instead of blocking the reader.
    const std::string fifo = dir + "/fifo";
    CHECK(::mkfifo(fifo.c_str(), 0644) == 0);
    const auto start = std::chrono::steady_clock::now();
    CHECK(!safefile::ReadRegular(fifo, 100, data, &error) && error == "not a regular file");
    CHECK(std::chrono::steady_clock::now() - start < std::chrono::seconds(5));
    CHECK(!safefile::Save(fifo, "x", &error) && error == "not a regular file");
}

void Saving(const std::string& dir) {
    std::string error;
    const std::string file = dir + "/save.ini";
    CHECK(safefile::Save(file, "new\n", &error) && Get(file) == "new\n");
    CHECK((Mode(file) & 0600) == 0600); // mkstemp's 0600 is not what stays
    // The mode of a replaced file is kept.
    ::chmod(file.c_str(), 0640);
    CHECK(safefile::Save(file, "second\n", &error) && Get(file) == "second\n");
    CHECK(Mode(file) == 0640);
    // A read-only file is not replaced, even by root.
    ::chmod(file.c_str(), 0444);
    CHECK(!safefile::Save(file, "third\n", &error) && error == "the file is read-only");
    CHECK(Get(file) == "second\n" && Mode(file) == 0444);
    CHECK(!safefile::Save(dir, "x", &error));
    CHECK(!safefile::Save(dir + "/no/such/folder/f.ini", "x", &error) && !error.empty());
    // Through a link the file it points to is replaced; the link stays a link.
    const std::string real = dir + "/real.ini", link = dir + "/link.ini";
    Put(real, "old\n");
    CHECK(::symlink("real.ini", link.c_str()) == 0);
    CHECK(safefile::Save(link, "through\n", &error) && Get(real) == "through\n");
    struct stat st {};
    CHECK(::lstat(link.c_str(), &st) == 0 && S_ISLNK(st.st_mode));
    const std::string dangling = dir + "/dangling.ini";
    CHECK(::symlink("nowhere/x.ini", dangling.c_str()) == 0);
    CHECK(!safefile::Save(dangling, "x", &error) && ::lstat(dangling.c_str(), &st) == 0 &&
          S_ISLNK(st.st_mode));
}

// In a folder the user cannot write, a writable file is rewritten in place.
// Root writes anywhere, so then the save runs in a child with another user id.
void ReadOnlyFolder(const std::string& dir) {
    const std::string folder = dir + "/ro";
    ::mkdir(folder.c_str(), 0755);
    const std::string file = folder + "/f.ini";
    Put(file, "[WINDOW]\nLEFT=1\nTOP=2\nAPP=a long old value\n", 0666);
    ::chmod(folder.c_str(), 0555);
    const pid_t child = ::fork();
    if (child == 0) {
        if (::geteuid() == 0 && ::setresuid(65534, 65534, 65534) != 0)
            ::_exit(3);
        std::string error;
        const bool ok = safefile::Save(file, "[WINDOW]\nLEFT=5\n", &error);
        ::_exit(ok ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    CHECK(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    CHECK(Get(file) == "[WINDOW]\nLEFT=5\n");
    CHECK(CountTemporaries(folder) == 0);
    ::chmod(folder.c_str(), 0755);
}

// A child saves A and B in turn until it is killed at a random moment; the
// file must then hold A or B whole (in place: followed by padding only).
void KilledDuringSaves(const std::string& dir, bool inPlace) {
    const std::string file = dir + "/f.ini";
    std::string a = "[WINDOW]\n", b = "[WINDOW]\nLEFT=7\n";
    // The atomic save holds for any size; a rewrite in place only within one
    // page (a kill between pages of one write can leave a mix).
    const int names = inPlace ? 150 : 400;
    for (int i = 0; i < names; ++i)
        a += "NAME" + std::to_string(i) + "=camera " + std::to_string(i) + "\n";
    Put(file, a);
    std::mt19937 random(inPlace ? 7u : 11u);
    int intact = 0;
    const int rounds = 60;
    for (int round = 0; round < rounds; ++round) {
        const pid_t child = ::fork();
        if (child == 0) {
            for (int i = 0;; ++i) {
                const std::string& text = i % 2 ? a : b;
                if (inPlace)
                    safefile::WriteInPlace(file, text);
                else
                    safefile::Save(file, text);
            }
        }
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 3000));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        const std::string got = Get(file);
        auto holds = [&](const std::string& text) {
            return got.compare(0, text.size(), text) == 0 &&
                   got.find_first_not_of('\n', text.size()) == std::string::npos &&
                   (inPlace || got.size() == text.size());
        };
        if (holds(a) || holds(b))
            ++intact;
        else
            std::printf("round %d: %zu bytes, neither version whole\n", round, got.size());
    }
    CHECK(intact == rounds);
}

} // namespace

int main() {
    const std::string dir = MakeDir();
    if (!CHECK(!dir.empty()))
        return plain::Summary();
    Reading(dir);
    Saving(dir);
    ReadOnlyFolder(dir);
    KilledDuringSaves(dir, false);
    KilledDuringSaves(dir, true);
    const std::string cleanup = "rm -rf '" + dir + "'";
    [[maybe_unused]] const int rc = std::system(cleanup.c_str());
    return plain::Summary();
}
