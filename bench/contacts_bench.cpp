// The contacts import on generated Outlook CSV exports of 1, 10 and 60 MB, in two shapes: short rows of
// one name and one number (the export of a mailing list, as in a 63 MB file of thirteen million rows), and
// the rows Outlook writes, with every column it exports and most of them empty. Each import runs in a child
// process of its own, so that the peak resident memory it reports is that of the one import: its peak
// less what the process held before it read the file, set against the file's size.
#include "lists/ContactsImport.h"
#include "lists/PP5Phonebook.h"

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <spawn.h>
#include <string>
#include <vector>

extern char** environ;

namespace {

constexpr int Runs = 3;
constexpr int BookEntries = 200;
constexpr double MB = 1024.0 * 1024.0;

struct TShape {
    const char* Name;
    QByteArray Header;
    QByteArray (*Row)(int i);
};

QByteArray ShortRow(int i) {
    return QByteArray(1, char('a' + i % 26)) + "," + QByteArray::number(10 + i % 90) + "\n";
}

QByteArray OutlookRow(int i) {
    const QByteArray n = QByteArray::number(i);
    return "\"\",\"Anna" + n +
           "\",\"\",\"Berg\",\"\",\"Berg & Co\",\"\",\"\",\"\",\"\",\"\",\"\",\"\","
           "\"(030) 555-" +
           n.right(4) + "\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"+49 171 " + n + "\",\"\",\"\",\"anna" + n +
           "@example.com\",\"SMTP\",\"Anna Berg\",\"\",\"\",\"\",\"Normal\"\r\n";
}

const TShape Shapes[] = {
    {"short rows", "Name,Mobile Phone\n", ShortRow},
    {"Outlook rows",
     "\"Title\",\"First Name\",\"Middle Name\",\"Last Name\",\"Suffix\",\"Company\",\"Department\","
     "\"Job Title\",\"Business Street\",\"Business City\",\"Business Postal Code\",\"Business Fax\","
     "\"Assistant's Phone\",\"Business Phone\",\"Business Phone 2\",\"Callback\",\"Car Phone\","
     "\"Company Main Phone\",\"Home Fax\",\"Home Phone\",\"Home Phone 2\",\"Mobile Phone\",\"Other Fax\","
     "\"Pager\",\"E-mail Address\",\"E-mail Type\",\"E-mail Display Name\",\"Notes\",\"Categories\","
     "\"Birthday\",\"Priority\"\r\n",
     OutlookRow},
};

// A file of about `megabytes` MB; gives the number of rows after the header.
int Generate(const QString& path, const TShape& shape, int megabytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return -1;
    // Written in pieces: the children inherit this process's peak through the spawn (see RunChild).
    const qint64 size = qint64(megabytes) * 1024 * 1024;
    qint64 written = file.write(shape.Header);
    int rows = 0;
    QByteArray piece;
    while (written < size) {
        piece.clear();
        while (piece.size() < 64 * 1024 && written + piece.size() < size)
            piece += shape.Row(rows++);
        written += file.write(piece);
    }
    return rows;
}

// VmRSS or VmHWM of this process in KiB.
long StatusKiB(const char* key) {
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(key))
            return std::atol(line.constData() + std::strlen(key));
    return -1;
}

// The import as the window and the command line run it, into a book of 200 entries.
int Import(const std::string& path, TPP5Phonebook& book) {
    TContactsImport import(book.Count());
    import.AddFile(path);
    import.FillPhonebook(book, {});
    return import.Contacts();
}

// In the child: one import, its time and memory on stdout as "ms baseKiB peakKiB contacts entries".
int Child(const char* path) {
    TPP5Phonebook book;
    book.SetCount(BookEntries);
    // Peak counting starts here, so that starting the process is not taken for the import.
    if (QFile clear("/proc/self/clear_refs"); clear.open(QIODevice::WriteOnly))
        clear.write("5");
    const long base = StatusKiB("VmRSS:");
    const auto t0 = std::chrono::steady_clock::now();
    int contacts = 0;
    try {
        contacts = Import(path, book);
    } catch (const EContactsFileError& e) {
        std::fprintf(stderr, "contacts_bench: %s\n", e.what());
        return 1;
    }
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    std::printf("%.1f %ld %ld %d %d\n", ms, base, StatusKiB("VmHWM:"), contacts, book.CountNumbers());
    return 0;
}

struct TRun {
    double ms = 0;
    long baseKiB = 0, peakKiB = 0, maxRssKiB = 0;
    int contacts = 0, entries = 0;
    bool ok = false;
};

// posix_spawn shares this process's memory until the child's exec, so the child's ru_maxrss starts at this
// process's resident size: the child's own VmHWM, reset before the import, is the figure to go by.
TRun RunChild(const char* self, const QString& path) {
    TRun run;
    int fds[2];
    if (pipe(fds) != 0)
        return run;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    const std::string file = path.toStdString();
    char* argv[] = {const_cast<char*>(self), const_cast<char*>("--child"), const_cast<char*>(file.c_str()),
                    nullptr};
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, self, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (spawned != 0) {
        close(fds[0]);
        return run;
    }
    std::string out;
    char buffer[256];
    for (ssize_t got; (got = read(fds[0], buffer, sizeof buffer)) > 0;)
        out.append(buffer, size_t(got));
    close(fds[0]);
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return run;
    run.maxRssKiB = usage.ru_maxrss;
    run.ok = std::sscanf(out.c_str(), "%lf %ld %ld %d %d", &run.ms, &run.baseKiB, &run.peakKiB, &run.contacts,
                         &run.entries) == 5;
    return run;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--child") == 0)
        return Child(argv[2]);

    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "contacts_bench: no temporary folder\n");
        return 1;
    }
    int failed = 0;
    std::printf("%-13s %6s %10s %8s %9s %9s %10s %7s %10s\n", "shape", "MB", "rows", "entries", "ms",
                "peak MB", "import MB", "x file", "rusage MB");
    for (const TShape& shape : Shapes) {
        for (const int megabytes : {1, 10, 60}) {
            const QString path = dir.filePath(QString("contacts-%1.csv").arg(megabytes));
            const int rows = Generate(path, shape, megabytes);
            const double fileMB = double(QFile(path).size()) / MB;
            std::vector<double> times;
            long peak = 0, grown = 0, rusageMax = 0;
            TRun last;
            for (int i = 0; i < Runs; ++i) {
                last = RunChild(argv[0], path);
                if (!last.ok || last.contacts != rows) {
                    std::fprintf(stderr, "contacts_bench: the import of %s failed or counted %d of %d\n",
                                 qPrintable(path), last.contacts, rows);
                    ++failed;
                    break;
                }
                times.push_back(last.ms);
                peak = std::max(peak, last.peakKiB);
                grown = std::max(grown, last.peakKiB - last.baseKiB);
                rusageMax = std::max(rusageMax, last.maxRssKiB);
            }
            if (times.size() != size_t(Runs))
                continue;
            std::sort(times.begin(), times.end());
            std::printf("%-13s %6.1f %10d %8d %9.1f %9.1f %10.1f %7.2f %10.1f\n", shape.Name, fileMB, rows,
                        last.entries, times[Runs / 2], double(peak) / 1024, double(grown) / 1024,
                        double(grown) / 1024 / fileMB, double(rusageMax) / 1024);
            std::fflush(stdout);
            QFile::remove(path);
        }
    }
    std::printf(
        "ms: median of %d runs. peak: the child's resident peak (VmHWM, reset before the import); "
        "import: the peak less what the child held before the import; x file: that against the file's "
        "size; rusage: wait4's ru_maxrss, which also holds what the parent had resident at the spawn.\n",
        Runs);
    return failed == 0 ? 0 : 1;
}
