// Prints what the element database costs at 1000 elements: the reads of a tree build
// (role and name of every element), single writes, and a whole discovery record; at a
// large site's size, the listing Load_Config builds the tree from (5000 elements, the
// file old and just written) and a discovery of 2000 answers stored one by one and in
// the station's batches. Not a test: figures vary with the machine and the file system.

#include "station/ElementStore.h"
#include "store/IniStore.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

constexpr int kElements = 1000;

QString sectionOf(int i)
{
    return QStringLiteral("%1").arg(0x0011AA000000LL + i, 12, 16, QLatin1Char('0')).toUpper();
}

IniPairs recordOf(int i)
{
    return {
        {QStringLiteral("name"), QStringLiteral("ELEMENT %1").arg(i, 4, 10, QLatin1Char('0')).leftJustified(16)},
        {QStringLiteral("ip"), QStringLiteral("10.1.%1.%2").arg(i / 250).arg(i % 250 + 1)},
        {QStringLiteral("mask"), QStringLiteral("255.255.0.0")},
        {QStringLiteral("gw"), QStringLiteral("10.1.0.254")},
        {QStringLiteral("input"), QStringLiteral("1")},
        {QStringLiteral("type"), QStringLiteral("1")},
        {QStringLiteral("tx"), QStringLiteral("0")},
        {QStringLiteral("remote"), QStringLiteral("192.168.1.91")},
        {QStringLiteral("role"), QString::number(i % 2 + 1)},
        {QStringLiteral("sn"), QString::number(100000 + i)},
        {QStringLiteral("ver"), QStringLiteral("2.0")},
        {QStringLiteral("sfn"), QStringLiteral("0")},
        {QStringLiteral("buf"), QStringLiteral("1")},
        {QStringLiteral("att"), QStringLiteral("0")},
        {QStringLiteral("sdm"), QStringLiteral("0")},
        {QStringLiteral("sdl"), QStringLiteral("37")},
        {QStringLiteral("sdt"), QStringLiteral("43")},
        {QStringLiteral("llo"), QStringLiteral("0")},
        {QStringLiteral("dly"), QStringLiteral("0")},
        {QStringLiteral("srv"), QStringLiteral("0")},
    };
}

QByteArray fileText(int elements = kElements)
{
    QByteArray text;
    for (int i = 0; i < elements; ++i) {
        text += '[' + sectionOf(i).toLatin1() + "]\r\n";
        for (const auto &pair : recordOf(i))
            text += pair.first.toUpper().toLatin1() + '=' + pair.second.trimmed().toLatin1() + "\r\n";
    }
    return text;
}

void writePlain(const QString &path, const QByteArray &text, bool aged)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) != text.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        std::exit(1);
    }
    file.close();
    if (aged) {
        // As a database last written a minute ago.
        timespec times[2];
        clock_gettime(CLOCK_REALTIME, &times[0]);
        times[0].tv_sec -= 60;
        times[1] = times[0];
        utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0);
    }
}

double cpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

// Wall-clock and processor time of a piece of work, printed on one line. On a busy
// machine the wall-clock figure includes waiting for the processor.
class Measure {
public:
    explicit Measure(const char *what) : m_what(what), m_cpu(cpuMs()) { m_timer.start(); }
    void done(int repeats = 1)
    {
        std::printf("%-58s %9.3f ms wall %9.3f ms cpu\n", m_what,
                    double(m_timer.nsecsElapsed()) / 1e6 / repeats, (cpuMs() - m_cpu) / repeats);
    }

private:
    const char *m_what;
    double m_cpu;
    QElapsedTimer m_timer;
};

// The reads of one tree build.
void treeBuildReads(const char *what, const QString &path)
{
    QStringList sections;
    LoadIniSectionsLB(sections, path);
    Measure measure(what);
    qsizetype encoders = 0;
    for (const QString &section : sections) {
        const QString role = ReadFromINI(section, QStringLiteral("role"), path);
        const QString name = ReadFromINI(section, QStringLiteral("name"), path);
        encoders += (role == QLatin1String("1") && !name.isEmpty()) ? 1 : 0;
    }
    measure.done();
    if (sections.size() != kElements || encoders != kElements / 2) {
        std::fprintf(stderr, "unexpected database: %lld sections, %lld encoders\n",
                     qlonglong(sections.size()), qlonglong(encoders));
        std::exit(1);
    }
}

// Load_Config's listing over a large database, the worst of a few runs; the first
// run after the file was written is the one a start-up sees.
void largeListing(const QString &path, bool aged)
{
    constexpr int kLarge = 5000;
    writePlain(path, fileText(kLarge), aged);
    double worstWall = 0, worstCpu = 0, bestCpu = 1e9;
    qsizetype listed = 0;
    for (int run = 0; run < 5; ++run) {
        QElapsedTimer wall;
        const double cpu = cpuMs();
        wall.start();
        listed = station::listElements(path).elements.size();
        worstWall = qMax(worstWall, double(wall.nsecsElapsed()) / 1e6);
        worstCpu = qMax(worstCpu, cpuMs() - cpu);
        bestCpu = qMin(bestCpu, cpuMs() - cpu);
    }
    std::printf("%-58s %9.3f ms wall %9.3f ms cpu (worst of 5, the first parses; best %.3f ms cpu; %lld listed)\n",
                aged ? "listing of 5000 elements, file a minute old" : "listing of 5000 elements, file just written",
                worstWall, worstCpu, bestCpu, qlonglong(listed));
}

// A discovery of 2000 answers, each stored as it came, and as the station stores them:
// answers spread over 2.5 s come 80 to each 100 ms batch. Each replacement of the file
// flushes it and its folder (two fsyncs) and writes the whole file.
void discoveryStore(const QString &path, int perBatch)
{
    constexpr int kAnswers = 2000;
    QFile::remove(path);
    qint64 bytes = 0;
    int writes = 0;
    Measure measure(perBatch == 1 ? "2000 answers stored one by one" : "2000 answers stored in batches of 80");
    QList<IniRecord> batch;
    for (int i = 0; i < kAnswers; ++i) {
        batch.append({sectionOf(i), recordOf(i)});
        if (batch.size() < perBatch && i + 1 < kAnswers)
            continue;
        WriteSectionsToINI(batch, path);
        batch.clear();
        ++writes;
        bytes += QFileInfo(path).size();
    }
    measure.done();
    std::printf("    %d replacements, %d fsyncs, %.1f MB written\n", writes, 2 * writes, double(bytes) / 1e6);
}

} // namespace

int main()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("nms.ini"));
    const QByteArray text = fileText();
    std::printf("database: %d elements, %lld bytes\n", kElements, qlonglong(text.size()));

    writePlain(path, text, true);
    {
        Measure measure("first read (parses the file)");
        ReadFromINI(sectionOf(0), QStringLiteral("role"), path);
        measure.done();
    }
    treeBuildReads("2000 reads of a tree build, file a minute old", path);

    WriteToINI(sectionOf(500), QStringLiteral("att"), QStringLiteral("12"), path);
    treeBuildReads("2000 reads right after a write by the store", path);

    writePlain(path, text, false);
    treeBuildReads("2000 reads, file just written by another program", path);

    constexpr int kWrites = 50;
    bool stored = true;
    {
        Measure measure("one WriteToINI (whole file replaced, flushed)");
        for (int i = 0; i < kWrites; ++i)
            WriteToINI(sectionOf(i * 20), QStringLiteral("att"), QString::number(i), path);
        measure.done(kWrites);
    }
    {
        Measure measure("a 20-key record as 20 WriteToINI calls");
        for (int i = 0; i < kWrites; ++i) {
            const IniPairs record = recordOf(i + kElements);
            for (const auto &pair : record)
                WriteToINI(sectionOf(i + kElements), pair.first, pair.second, path);
        }
        measure.done(kWrites);
    }
    {
        Measure measure("a 20-key record as one WriteManyToINI call");
        for (int i = 0; i < kWrites; ++i)
            stored = WriteManyToINI(sectionOf(i + 2 * kElements), recordOf(i), path) && stored;
        measure.done(kWrites);
    }
    largeListing(path, true);
    largeListing(path, false);
    discoveryStore(path, 1);
    discoveryStore(path, 80);
    return stored ? 0 : 1;
}
