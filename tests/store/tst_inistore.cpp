// The INI store against real files in a temporary folder: layout on disk, case-blind
// matching, value cleaning, damaged files, refused names, failed and interrupted writes.

#include "store/IniStore.h"

#include <QtTest>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A byte string that may hold NULs.
template <size_t N>
QByteArray bytes(const char (&text)[N])
{
    return QByteArray(text, qsizetype(N - 1));
}

template <size_t N>
QString latin1(const char (&text)[N])
{
    return QString::fromLatin1(text, qsizetype(N - 1));
}

QByteArray readRaw(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();   // null: no file
    return file.readAll();
}

void writeRaw(const QString &path, const QByteArray &data)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
    QCOMPARE(file.write(data), data.size());
}

QStringList sections(const QString &path)
{
    QStringList list;
    LoadIniSectionsLB(list, path);
    return list;
}

QStringList keys(const QString &section, const QString &path)
{
    QStringList list;
    LoadIniSectionKeysLB(section, list, path);
    return list;
}

// Everything the store shows of a file. The store remembers its last parse; a copy of
// the file under another name is parsed afresh, so comparing the two views of a file
// just written checks that what was remembered is what is on disk.
QString everything(const QString &path)
{
    QString text;
    for (const QString &section : sections(path)) {
        text += QLatin1Char('[') + section + QStringLiteral("] %1\n").arg(GetSectionKeyCount(section, path));
        for (const QString &key : keys(section, path))
            text += key + QLatin1Char('=') + ReadFromINI(section, key, path) + QLatin1Char('\n');
    }
    return text;
}

QString everythingAfresh(const QString &path)
{
    const QString copy = path + QStringLiteral(".copy");
    QFile::remove(copy);
    if (!QFile::copy(path, copy))
        return QStringLiteral("<no copy>");
    const QString text = everything(copy);
    QFile::remove(copy);
    return text;
}

// Folder entries other than the database: temporary files a write left behind.
QStringList strayFiles(const QString &dir)
{
    QStringList entries = QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System);
    entries.removeAll(QStringLiteral("nms.ini"));
    return entries;
}

const QRegularExpression kSaveFailed(QStringLiteral("Cannot save the element database"));

// ---- Helper processes (the test binary started again with one of these arguments) ----

// Rewrites one value back and forth until killed (bounded by count and time).
int alternateWrites(const QString &path)
{
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < 100000 && clock.elapsed() < 20000; ++i) {
        WriteToINI(QStringLiteral("SEC"), QStringLiteral("val"),
                   i % 2 == 0 ? QStringLiteral("ODD") : QStringLiteral("EVEN"), path);
        if (i == 0) {
            std::fputs("ready\n", stdout);
            std::fflush(stdout);
        }
    }
    return 0;
}

// A write that runs out of room part way: the file-size limit makes write() fail with
// EFBIG the way a full disk fails with ENOSPC.
int limitedWrite(const QString &path)
{
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = 4096;
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
        return 2;
    WriteToINI(QStringLiteral("SEC"), QStringLiteral("big"), QString(20000, QLatin1Char('x')), path);
    std::fputs(lastIniWriteSucceeded() ? "succeeded\n" : "failed\n", stdout);
    return 0;
}

} // namespace

using Ops = QList<QStringList>;

class TstIniStore : public QObject {
    Q_OBJECT
private slots:
    void init();

    void valueRoundTrip_data();
    void valueRoundTrip();
    void injectedLineBreaksStayInTheValue_data();
    void injectedLineBreaksStayInTheValue();
    void edits_data();
    void edits();
    void missingFileSectionOrKey_data();
    void missingFileSectionOrKey();
    void presenceAndCounts_data();
    void presenceAndCounts();
    void leadingWholeNumber_data();
    void leadingWholeNumber();
    void damagedFiles_data();
    void damagedFiles();
    void sectionsListedWithoutCeiling();
    void writeManyEqualsSingleWrites_data();
    void writeManyEqualsSingleWrites();
    void refusedNames_data();
    void refusedNames();
    void failedWritesKeepOldFile_data();
    void failedWritesKeepOldFile();
    void writeFailingPartWayKeepsOldFile();
    void killedWriterNeverLeavesTornFile();
    void replacementKeepsModeAndLink_data();
    void replacementKeepsModeAndLink();
    void changesByOthersAreSeen_data();
    void changesByOthersAreSeen();

private:
    QString path() const { return m_dir->filePath(QStringLiteral("nms.ini")); }
    void apply(const Ops &ops);

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TstIniStore::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TstIniStore::apply(const Ops &ops)
{
    for (const QStringList &op : ops) {
        const QString &what = op.at(0);
        if (what == QLatin1String("write"))
            WriteToINI(op.at(1), op.at(2), op.at(3), path());
        else if (what == QLatin1String("deleteKey"))
            DeleteIniKey(op.at(1), op.at(2), path());
        else if (what == QLatin1String("deleteSection"))
            DeleteIniSection(op.at(1), path());
        else if (what == QLatin1String("renameKey"))
            RenameIniKey(op.at(1), op.at(2), op.at(3), path());
        else if (what == QLatin1String("renameSection"))
            RenameIniSection(op.at(1), op.at(2), path());
        else
            QFAIL(qPrintable(what));
        QVERIFY2(lastIniWriteSucceeded(), qPrintable(op.join(QLatin1Char(' '))));
    }
}

// ---- Values ---------------------------------------------------------------------------

void TstIniStore::valueRoundTrip_data()
{
    QTest::addColumn<QString>("written");
    QTest::addColumn<QString>("readBack");
    QTest::addColumn<QByteArray>("line");   // the key line on disk

    const QString long800(800, QLatin1Char('x'));
    QTest::newRow("plain") << "STUDIO" << "STUDIO" << QByteArray("NAME=STUDIO");
    QTest::newRow("blanks around") << "  ABC  " << "ABC" << QByteArray("NAME=ABC");
    QTest::newRow("inner blanks kept") << "TX  SITE" << "TX  SITE" << QByteArray("NAME=TX  SITE");
    QTest::newRow("empty") << "" << "" << QByteArray("NAME=");
    QTest::newRow("equals sign") << "a=b=c" << "a=b=c" << QByteArray("NAME=a=b=c");
    QTest::newRow("latin-1 bytes") << QString::fromUtf8("CAFÉ ÿ") << QString::fromUtf8("CAFÉ ÿ")
                                   << bytes("NAME=CAF\xC9 \xFF");
    QTest::newRow("beyond latin-1") << QString::fromUtf8("A€") << "A?" << QByteArray("NAME=A?");
    QTest::newRow("749 kept") << QString(749, QLatin1Char('y')) << QString(749, QLatin1Char('y'))
                              << "NAME=" + QByteArray(749, 'y');
    QTest::newRow("800 stored, 749 read") << long800 << long800.left(749) << "NAME=" + long800.toLatin1();
    QTest::newRow("cut at NUL") << latin1("AB\0CD") << "AB" << QByteArray("NAME=AB");
    QTest::newRow("NUL first") << latin1("\0CD") << "" << QByteArray("NAME=");
    QTest::newRow("CR LF to blanks") << "A\r\nB" << "A  B" << QByteArray("NAME=A  B");
    QTest::newRow("trailing LF trimmed") << "A\n" << "A" << QByteArray("NAME=A");
}

void TstIniStore::valueRoundTrip()
{
    QFETCH(QString, written);
    QFETCH(QString, readBack);
    QFETCH(QByteArray, line);

    WriteToINI(QStringLiteral("001122AABBCC"), QStringLiteral("name"), written, path());
    QVERIFY(lastIniWriteSucceeded());
    QCOMPARE(ReadFromINI(QStringLiteral("001122AABBCC"), QStringLiteral("name"), path()), readBack);
    QCOMPARE(readRaw(path()), "[001122AABBCC]\r\n" + line + "\r\n");
}

void TstIniStore::injectedLineBreaksStayInTheValue_data()
{
    // Element names arrive from the network.
    QTest::addColumn<QString>("value");
    QTest::newRow("CR LF") << "X\r\n[EVIL]\r\nROLE=1";
    QTest::newRow("LF") << "X\n[EVIL]\nROLE=1";
    QTest::newRow("CR") << "X\r[EVIL]\rROLE=1";
    QTest::newRow("starts with a break") << "\r\n[EVIL]\r\nROLE=1\r\n";
    QTest::newRow("NUL hides the rest") << latin1("X\0\r\n[EVIL]\r\nROLE=1");
}

void TstIniStore::injectedLineBreaksStayInTheValue()
{
    QFETCH(QString, value);
    WriteToINI(QStringLiteral("SEC"), QStringLiteral("name"), value, path());
    WriteToINI(QStringLiteral("SEC"), QStringLiteral("ip"), QStringLiteral("1.2.3.4"), path());

    QCOMPARE(sections(path()), QStringList{QStringLiteral("SEC")});
    QCOMPARE(keys(QStringLiteral("SEC"), path()), (QStringList{QStringLiteral("NAME"), QStringLiteral("IP")}));
    QCOMPARE(ReadFromINI(QStringLiteral("EVIL"), QStringLiteral("role"), path(), QStringLiteral("none")),
             QStringLiteral("none"));
    QCOMPARE(ReadFromINI(QStringLiteral("SEC"), QStringLiteral("role"), path(), QStringLiteral("none")),
             QStringLiteral("none"));
    QCOMPARE(readRaw(path()).count("\r\n"), 3);
    QVERIFY(!readRaw(path()).contains('\0'));
}

// ---- Layout of the file under edits ---------------------------------------------------

void TstIniStore::edits_data()
{
    QTest::addColumn<QByteArray>("initial");   // null: no file
    QTest::addColumn<Ops>("ops");
    QTest::addColumn<QByteArray>("expected");  // null: still no file

    const auto w = [](const char *s, const char *k, const char *v) {
        return QStringList{QStringLiteral("write"), QString::fromLatin1(s), QString::fromLatin1(k),
                           QString::fromLatin1(v)};
    };
    const auto op = [](std::initializer_list<const char *> parts) {
        QStringList list;
        for (const char *p : parts)
            list.append(QString::fromLatin1(p));
        return list;
    };

    QTest::newRow("first write creates file, section and upper-case key")
        << QByteArray() << Ops{w("001122AABBCC", "name", "STUDIO")}
        << QByteArray("[001122AABBCC]\r\nNAME=STUDIO\r\n");
    QTest::newRow("sections appended in order, key at end of its section, replace in place")
        << QByteArray()
        << Ops{w("AAA", "name", "one"), w("BBB", "ip", "1.2.3.4"), w("aaa", "Role", "1"),
               w("AaA", "NAME", "two")}
        << QByteArray("[AAA]\r\nNAME=two\r\nROLE=1\r\n[BBB]\r\nIP=1.2.3.4\r\n");
    QTest::newRow("hand-written layout kept, new key before the blank line")
        << QByteArray("; note\r\n\r\n[aaa]\r\nname = old\r\n\r\n[BBB]\r\nX=1\r\n")
        << Ops{w("AAA", "NAME", "new"), w("AAA", "ip", "1.1.1.1")}
        << QByteArray("; note\r\n\r\n[aaa]\r\nNAME=new\r\nIP=1.1.1.1\r\n\r\n[BBB]\r\nX=1\r\n");
    QTest::newRow("LF-only file rewritten with CR LF")
        << QByteArray("[A]\nK=1\n") << Ops{w("A", "L", "2")} << QByteArray("[A]\r\nK=1\r\nL=2\r\n");
    QTest::newRow("no line end after the last line")
        << QByteArray("[A]\r\nK=1") << Ops{w("A", "L", "2")} << QByteArray("[A]\r\nK=1\r\nL=2\r\n");
    QTest::newRow("same value again leaves the file untouched")
        << QByteArray("[A]\nK=1\n") << Ops{w("a", "k", "1")} << QByteArray("[A]\nK=1\n");
    QTest::newRow("duplicate section: the first copy is written")
        << QByteArray("[A]\r\nK=1\r\n[B]\r\n[a]\r\nK=2\r\n") << Ops{w("A", "K", "3")}
        << QByteArray("[A]\r\nK=3\r\n[B]\r\n[a]\r\nK=2\r\n");
    QTest::newRow("duplicate key: the first line is replaced")
        << QByteArray("[A]\r\nK=1\r\nk=2\r\n") << Ops{w("A", "K", "3")}
        << QByteArray("[A]\r\nK=3\r\nk=2\r\n");
    QTest::newRow("lines before the first section kept")
        << QByteArray("junk\r\nK=0\r\n[A]\r\n") << Ops{w("A", "K", "1")}
        << QByteArray("junk\r\nK=0\r\n[A]\r\nK=1\r\n");
    QTest::newRow("line without '=' kept")
        << QByteArray("[A]\r\nNOEQUALS\r\n") << Ops{w("A", "K", "1")}
        << QByteArray("[A]\r\nNOEQUALS\r\nK=1\r\n");

    QTest::newRow("delete key, every copy of it")
        << QByteArray("[A]\r\nK=1\r\nX=0\r\nk=2\r\n[B]\r\nK=9\r\n") << Ops{op({"deleteKey", "a", "k"})}
        << QByteArray("[A]\r\nX=0\r\n[B]\r\nK=9\r\n");
    QTest::newRow("delete missing key changes nothing")
        << QByteArray("[A]\nK=1\n") << Ops{op({"deleteKey", "A", "Q"}), op({"deleteKey", "Q", "K"})}
        << QByteArray("[A]\nK=1\n");
    QTest::newRow("delete section, every copy of it")
        << QByteArray("[A]\r\nK=1\r\n[B]\r\n[a]\r\nK=2\r\n") << Ops{op({"deleteSection", "a"})}
        << QByteArray("[B]\r\n");
    QTest::newRow("deletes on a missing file create nothing")
        << QByteArray() << Ops{op({"deleteSection", "A"}), op({"deleteKey", "A", "K"})} << QByteArray();

    QTest::newRow("rename missing key changes nothing")
        << QByteArray("[A]\nK=1\n") << Ops{op({"renameKey", "A", "Q", "R"})} << QByteArray("[A]\nK=1\n");
    QTest::newRow("renamed key moves to the end, upper case")
        << QByteArray("[A]\r\nX=1\r\nold=v\r\nY=2\r\n") << Ops{op({"renameKey", "A", "OLD", "new"})}
        << QByteArray("[A]\r\nX=1\r\nY=2\r\nNEW=v\r\n");
    QTest::newRow("key renamed to its own name keeps its value")
        << QByteArray("[A]\r\nname=v\r\n") << Ops{op({"renameKey", "A", "name", "NAME"})}
        << QByteArray("[A]\r\nNAME=v\r\n");
    QTest::newRow("renamed key carries a value longer than a read")
        << "[A]\r\nK=" + QByteArray(800, 'z') + "\r\n" << Ops{op({"renameKey", "A", "K", "L"})}
        << "[A]\r\nL=" + QByteArray(800, 'z') + "\r\n";
    QTest::newRow("renamed section moves to the end with whole values")
        << QByteArray("[OLD]\r\na=1\r\nJUNK\r\nb=x=y\r\n[C]\r\nK=1\r\n")
        << Ops{op({"renameSection", "old", "NEW"})}
        << QByteArray("[C]\r\nK=1\r\n[NEW]\r\nA=1\r\nB=x=y\r\n");
    QTest::newRow("section renamed to its own name keeps its keys")
        << QByteArray("[abc]\r\nK=1\r\n") << Ops{op({"renameSection", "abc", "ABC"})}
        << QByteArray("[ABC]\r\nK=1\r\n");
    QTest::newRow("section renamed onto an existing one merges into it")
        << QByteArray("[OLD]\r\nA=1\r\n[NEW]\r\nA=0\r\nB=2\r\n") << Ops{op({"renameSection", "OLD", "NEW"})}
        << QByteArray("[NEW]\r\nA=1\r\nB=2\r\n");
    QTest::newRow("renamed section without keys still exists")
        << QByteArray("[OLD]\r\n") << Ops{op({"renameSection", "OLD", "NEW"})} << QByteArray("[NEW]\r\n");
    QTest::newRow("rename missing section changes nothing")
        << QByteArray("[A]\nK=1\n") << Ops{op({"renameSection", "Q", "R"})} << QByteArray("[A]\nK=1\n");
}

void TstIniStore::edits()
{
    QFETCH(QByteArray, initial);
    QFETCH(Ops, ops);
    QFETCH(QByteArray, expected);
    if (!initial.isNull())
        writeRaw(path(), initial);
    apply(ops);
    QCOMPARE(readRaw(path()), expected);
    QVERIFY(strayFiles(m_dir->path()).isEmpty());
    if (!expected.isNull())
        QCOMPARE(everything(path()), everythingAfresh(path()));
}

// ---- Reads ----------------------------------------------------------------------------

void TstIniStore::missingFileSectionOrKey_data()
{
    QTest::addColumn<QByteArray>("initial");   // null: no file
    QTest::addColumn<QString>("section");
    QTest::addColumn<QStringList>("keyNames");
    QTest::newRow("no file") << QByteArray() << "A" << QStringList();
    QTest::newRow("empty file") << QByteArray("") << "A" << QStringList();
    QTest::newRow("no such section") << QByteArray("[B]\r\nK=1\r\n") << "A" << QStringList();
    QTest::newRow("no such key") << QByteArray("[A]\r\nL=1\r\n") << "A" << QStringList{"L"};
    QTest::newRow("key only in another section") << QByteArray("[A]\r\n[B]\r\nK=1\r\n") << "A"
                                                 << QStringList();
    QTest::newRow("empty section name") << QByteArray("[]\r\nK=1\r\n") << "" << QStringList();
}

void TstIniStore::missingFileSectionOrKey()
{
    QFETCH(QByteArray, initial);
    QFETCH(QString, section);
    QFETCH(QStringList, keyNames);
    if (!initial.isNull())
        writeRaw(path(), initial);

    QCOMPARE(ReadFromINI(section, QStringLiteral("K"), path(), QStringLiteral("dflt")), QStringLiteral("dflt"));
    QCOMPARE(ReadFromINI(section, QStringLiteral("K"), path()), QString());
    QCOMPARE(GetLongFromINI(section, QStringLiteral("K"), path(), -7), -7);
    QVERIFY(!CheckIfIniKeyExists(section, QStringLiteral("K"), path()));
    QCOMPARE(GetSectionKeyCount(section, path()), qint16(keyNames.size()));
    QCOMPARE(CheckIfIniSectionExists(section, path()), !keyNames.isEmpty());
    QStringList list{QStringLiteral("kept")};
    LoadIniSectionKeysLB(section, list, path());
    QCOMPARE(list, QStringList{QStringLiteral("kept")} + keyNames);
    if (initial.isNull()) {
        LoadIniSectionsLB(list, path());
        QCOMPARE(list, QStringList{QStringLiteral("kept")});
        QVERIFY(!QFile::exists(path()));
    }
}

void TstIniStore::presenceAndCounts_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("key");
    QTest::addColumn<bool>("keyExists");
    QTest::addColumn<bool>("sectionExists");
    QTest::addColumn<QStringList>("keyNames");
    QTest::addColumn<QStringList>("sectionNames");

    QTest::newRow("empty value is present") << QByteArray("[A]\r\nK=\r\n") << "k" << true << true
                                            << QStringList{"K"} << QStringList{"A"};
    QTest::newRow("value A is present") << QByteArray("[A]\r\nK=A\r\n") << "K" << true << true
                                        << QStringList{"K"} << QStringList{"A"};
    QTest::newRow("value B is present") << QByteArray("[A]\r\nK=B\r\n") << "K" << true << true
                                        << QStringList{"K"} << QStringList{"A"};
    QTest::newRow("header without keys") << QByteArray("[A]\r\n[B]\r\nK=1\r\n") << "K" << false << false
                                         << QStringList() << QStringList{"A", "B"};
    QTest::newRow("only lines without '='") << QByteArray("[A]\r\nK\r\nJUNK\r\n") << "K" << false << false
                                            << QStringList() << QStringList{"A"};
    QTest::newRow("key lines in file order, as spelt")
        << QByteArray("[a]\r\nzeta=1\r\n\r\nAlpha = 2\r\nk=3\r\nK=4\r\n") << "K" << true << true
        << QStringList{"zeta", "Alpha", "k", "K"} << QStringList{"a"};
    QTest::newRow("duplicate section listed once, first copy counts")
        << QByteArray("[A]\r\nX=1\r\n[B]\r\n[a]\r\nK=2\r\n") << "K" << false << true
        << QStringList{"X"} << QStringList{"A", "B"};
}

void TstIniStore::presenceAndCounts()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, key);
    QFETCH(bool, keyExists);
    QFETCH(bool, sectionExists);
    QFETCH(QStringList, keyNames);
    QFETCH(QStringList, sectionNames);
    writeRaw(path(), file);

    QCOMPARE(CheckIfIniKeyExists(QStringLiteral("A"), key, path()), keyExists);
    QCOMPARE(CheckIfIniSectionExists(QStringLiteral("a"), path()), sectionExists);
    QCOMPARE(GetSectionKeyCount(QStringLiteral("A"), path()), qint16(keyNames.size()));
    QCOMPARE(keys(QStringLiteral("A"), path()), keyNames);
    QCOMPARE(sections(path()), sectionNames);
}

void TstIniStore::leadingWholeNumber_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("number");
    QTest::newRow("plain") << QByteArray("K=12") << 12;
    QTest::newRow("letters after") << QByteArray("K=12abc") << 12;
    QTest::newRow("fraction") << QByteArray("K=1.9") << 1;
    QTest::newRow("negative") << QByteArray("K=-5") << -5;
    QTest::newRow("plus") << QByteArray("K=+7") << 7;
    QTest::newRow("blanks around") << QByteArray("K =  7  ") << 7;
    QTest::newRow("not a number") << QByteArray("K=X") << 0;
    QTest::newRow("empty value") << QByteArray("K=") << 0;
    QTest::newRow("sign alone") << QByteArray("K=-") << 0;
    QTest::newRow("above 32 bits") << QByteArray("K=99999999999999999999") << int(INT32_MAX);
    QTest::newRow("below 32 bits") << QByteArray("K=-99999999999999999999") << int(INT32_MIN);
    QTest::newRow("missing key gives default") << QByteArray("L=1") << 42;
}

void TstIniStore::leadingWholeNumber()
{
    QFETCH(QByteArray, line);
    QFETCH(int, number);
    writeRaw(path(), "[A]\r\n" + line + "\r\n");
    QCOMPARE(GetLongFromINI(QStringLiteral("a"), QStringLiteral("K"), path(), 42), number);
}

// ---- Damaged files --------------------------------------------------------------------

void TstIniStore::damagedFiles_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("key");           // read from section A
    QTest::addColumn<QString>("value");         // "<none>": the key is missing
    QTest::addColumn<QStringList>("sectionNames");

    QRandomGenerator random(20240611);
    QByteArray junk(65536, Qt::Uninitialized);
    for (char &c : junk)
        c = char(random.bounded(256));
    QByteArray junkWithoutHeaders = junk;
    junkWithoutHeaders.replace('[', 'x');
    const QByteArray megabyte(1 << 20, 'm');

    QTest::newRow("binary junk") << junkWithoutHeaders << "K" << "<none>" << QStringList();
    QTest::newRow("binary junk before a good section")
        << junkWithoutHeaders + "\n[A]\r\nK=1\r\n" << "K" << "1" << QStringList{"A"};
    QTest::newRow("1 MB value") << "[A]\r\nK=" + megabyte + "\r\nL=2\r\n" << "K"
                                << QString(749, QLatin1Char('m')) << QStringList{"A"};
    QTest::newRow("key after a 1 MB line") << "[A]\r\nK=" + megabyte + "\r\nL=2\r\n" << "L" << "2"
                                           << QStringList{"A"};
    QTest::newRow("1 MB line without line end") << "[A]\r\n" + megabyte << "K" << "<none>"
                                                << QStringList{"A"};
    QTest::newRow("no sections") << QByteArray("K=1\r\nL=2\r\n") << "K" << "<none>" << QStringList();
    QTest::newRow("duplicate sections: the first is read")
        << QByteArray("[A]\r\nK=1\r\n[B]\r\nK=5\r\n[a]\r\nK=2\r\nL=3\r\n") << "K" << "1"
        << QStringList{"A", "B"};
    QTest::newRow("duplicate sections: the second copy is not read")
        << QByteArray("[A]\r\nK=1\r\n[a]\r\nL=3\r\n") << "L" << "<none>" << QStringList{"A"};
    QTest::newRow("keys without '='") << QByteArray("[A]\r\nJUNK\r\nK\r\nK=1\r\n") << "K" << "1"
                                      << QStringList{"A"};
    QTest::newRow("role not a number") << QByteArray("[A]\r\nROLE=X\r\n") << "role" << "X"
                                       << QStringList{"A"};
    QTest::newRow("header without ']'") << QByteArray("[A\r\nK=1\r\n") << "K" << "<none>"
                                        << QStringList();
    QTest::newRow("empty header not listed") << QByteArray("[]\r\nK=1\r\n[A]\r\nK=2\r\n") << "K" << "2"
                                             << QStringList{"A"};
    QTest::newRow("text after the header") << QByteArray("  [ A ] ; note\r\nK=1\r\n") << "K" << "1"
                                           << QStringList{"A"};
    QTest::newRow("blanks around key and value") << QByteArray("[A]\r\n  k  =\t v v \t\r\n") << "K" << "v v"
                                                 << QStringList{"A"};
    QTest::newRow("NUL inside a value") << bytes("[A]\r\nK=ab\0cd\r\n") << "K" << "ab" << QStringList{"A"};
    QTest::newRow("key with empty name ignored") << QByteArray("[A]\r\n=1\r\n") << "" << "<none>"
                                                 << QStringList{"A"};
}

void TstIniStore::damagedFiles()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QStringList, sectionNames);
    writeRaw(path(), file);

    const auto check = [&] {
        QCOMPARE(ReadFromINI(QStringLiteral("A"), key, path(), QStringLiteral("<none>")), value);
        QStringList listed = sections(path());
        listed.removeAll(QStringLiteral("NEW"));
        QCOMPARE(listed, sectionNames);
    };
    check();
    if (QTest::currentTestFailed())
        return;

    // A write adds to the damaged file without losing any of it.
    WriteToINI(QStringLiteral("NEW"), QStringLiteral("k"), QStringLiteral("v"), path());
    QVERIFY(lastIniWriteSucceeded());
    QCOMPARE(ReadFromINI(QStringLiteral("NEW"), QStringLiteral("K"), path()), QStringLiteral("v"));
    check();
    QCOMPARE(everything(path()), everythingAfresh(path()));
    QByteArray before = file;
    before.replace("\r\n", "\n");
    if (!before.endsWith('\n'))
        before.append('\n');
    QByteArray after = readRaw(path());
    after.replace("\r\n", "\n");
    QCOMPARE(after, before + "[NEW]\nK=v\n");
}

void TstIniStore::sectionsListedWithoutCeiling()
{
    QStringList expected;
    for (int i = 0; i < 300; ++i) {
        const QString section = QStringLiteral("%1").arg(0x001122000000LL + i * 7919, 12, 16, QLatin1Char('0')).toUpper();
        expected.append(section);
        WriteManyToINI(section, {{QStringLiteral("role"), QString::number(i % 3)},
                                 {QStringLiteral("name"), QStringLiteral("E%1").arg(i)}}, path());
        QVERIFY(lastIniWriteSucceeded());
    }
    QCOMPARE(sections(path()), expected);
    QCOMPARE(ReadFromINI(expected.at(299), QStringLiteral("name"), path()), QStringLiteral("E299"));
    QCOMPARE(GetSectionKeyCount(expected.at(150), path()), qint16(2));
}

// ---- Several keys in one write -------------------------------------------------------

void TstIniStore::writeManyEqualsSingleWrites_data()
{
    QTest::addColumn<QByteArray>("initial");      // null: no file
    QTest::addColumn<QStringList>("keysAndValues");   // key, value, key, value…
    QTest::newRow("new file") << QByteArray() << QStringList{"name", "STUDIO", "ip", "1.2.3.4", "role", "1"};
    QTest::newRow("existing keys in any case")
        << QByteArray("[SEC]\r\nNAME=old\r\nip=0.0.0.0\r\n[OTHER]\r\nK=1\r\n")
        << QStringList{"Ip", "10.0.0.1", "mask", "255.0.0.0", "name", "new"};
    QTest::newRow("same key twice, last value wins in place")
        << QByteArray("[SEC]\r\nA=1\r\n") << QStringList{"b", "x", "a", "2", "B", "y"};
    QTest::newRow("values cleaned as single writes clean them")
        << QByteArray() << QStringList{"name", "  A\r\nB  ", "sn", latin1("12\0 34")};
    QTest::newRow("nothing changes") << QByteArray("[SEC]\nA=1\n") << QStringList{"a", "1"};
}

void TstIniStore::writeManyEqualsSingleWrites()
{
    QFETCH(QByteArray, initial);
    QFETCH(QStringList, keysAndValues);
    const QString single = m_dir->filePath(QStringLiteral("single.ini"));
    if (!initial.isNull()) {
        writeRaw(path(), initial);
        writeRaw(single, initial);
    }
    IniPairs pairs;
    for (int i = 0; i + 1 < keysAndValues.size(); i += 2) {
        pairs.append({keysAndValues.at(i), keysAndValues.at(i + 1)});
        WriteToINI(QStringLiteral("SEC"), keysAndValues.at(i), keysAndValues.at(i + 1), single);
        QVERIFY(lastIniWriteSucceeded());
    }
    WriteManyToINI(QStringLiteral("sec"), pairs, path());
    QVERIFY(lastIniWriteSucceeded());
    QCOMPARE(readRaw(path()), readRaw(single).replace("[SEC]", initial.isNull() ? "[sec]" : "[SEC]"));
}

// ---- Refused names and failed writes --------------------------------------------------

void TstIniStore::refusedNames_data()
{
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::newRow("section with ]") << "A]B" << "K";
    QTest::newRow("section with CR LF") << "A\r\n[EVIL]" << "K";
    QTest::newRow("section with LF") << "A\nB" << "K";
    QTest::newRow("section with NUL") << latin1("A\0B") << "K";
    QTest::newRow("empty section") << "" << "K";
    QTest::newRow("blank section") << "   " << "K";
    QTest::newRow("section beyond latin-1") << QString::fromUtf8("A€") << "K";
    QTest::newRow("key with =") << "A" << "K=V";
    QTest::newRow("key that reads as a header") << "A" << "[EVIL]";
    QTest::newRow("key with CR LF") << "A" << "K\r\nX";
    QTest::newRow("key with NUL") << "A" << latin1("K\0X");
    QTest::newRow("empty key") << "A" << "";
    QTest::newRow("key beyond latin-1") << "A" << QString::fromUtf8("K€");
}

void TstIniStore::refusedNames()
{
    QFETCH(QString, section);
    QFETCH(QString, key);
    const QByteArray initial("[A]\r\nK=1\r\n");
    writeRaw(path(), initial);

    QTest::ignoreMessage(QtWarningMsg, kSaveFailed);
    WriteToINI(section, key, QStringLiteral("v"), path());
    QVERIFY(!lastIniWriteSucceeded());
    QCOMPARE(readRaw(path()), initial);

    // Among good keys, a refused one is skipped and the failure still reported.
    QTest::ignoreMessage(QtWarningMsg, kSaveFailed);
    WriteManyToINI(section, {{QStringLiteral("good"), QStringLiteral("1")}, {key, QStringLiteral("v")}}, path());
    QVERIFY(!lastIniWriteSucceeded());
    if (section == QLatin1String("A"))
        QCOMPARE(readRaw(path()), initial + "GOOD=1\r\n");
    else
        QCOMPARE(readRaw(path()), initial);
}

void TstIniStore::failedWritesKeepOldFile_data()
{
    QTest::addColumn<QString>("setup");
    QTest::newRow("folder is a regular file") << "parent-is-file";
    QTest::newRow("database is a folder") << "database-is-folder";
    QTest::newRow("read-only folder") << "read-only-folder";
    QTest::newRow("unreadable database") << "unreadable-file";
}

void TstIniStore::failedWritesKeepOldFile()
{
    QFETCH(QString, setup);
    const bool root = ::geteuid() == 0;
    const QByteArray initial("[A]\r\nK=1\r\n");
    QString target = path();
    const QString folder = m_dir->filePath(QStringLiteral("db"));

    if (setup == QLatin1String("parent-is-file")) {
        // Fails for root too: nothing can be created below a regular file.
        writeRaw(folder, initial);
        target = folder + QStringLiteral("/nms.ini");
    } else if (setup == QLatin1String("database-is-folder")) {
        QVERIFY(QDir().mkpath(path()));
    } else if (setup == QLatin1String("read-only-folder")) {
        if (root)
            QSKIP("root writes into read-only folders");
        QVERIFY(QDir().mkpath(folder));
        target = folder + QStringLiteral("/nms.ini");
        writeRaw(target, initial);
        QVERIFY(::chmod(QFile::encodeName(folder).constData(), 0555) == 0);
    } else {
        if (root)
            QSKIP("root reads unreadable files");
        writeRaw(path(), initial);
        QVERIFY(::chmod(QFile::encodeName(path()).constData(), 0200) == 0);
    }
    // What must survive: the old database, or the file that stands where its folder should.
    const QByteArray before = setup == QLatin1String("database-is-folder") ? QByteArray() : initial;

    QTest::ignoreMessage(QtWarningMsg, kSaveFailed);
    WriteToINI(QStringLiteral("A"), QStringLiteral("K"), QStringLiteral("2"), target);
    QVERIFY(!lastIniWriteSucceeded());
    // Where there is no file below the folder-that-is-a-file, there is nothing to rename.
    const bool fileThere = setup != QLatin1String("parent-is-file");
    if (fileThere)
        QTest::ignoreMessage(QtWarningMsg, kSaveFailed);
    RenameIniSection(QStringLiteral("A"), QStringLiteral("B"), target);
    QCOMPARE(lastIniWriteSucceeded(), !fileThere);

    // A later successful write clears the failure.
    WriteToINI(QStringLiteral("A"), QStringLiteral("K"), QStringLiteral("3"), path() + QStringLiteral(".ok"));
    QVERIFY(lastIniWriteSucceeded());

    if (setup == QLatin1String("read-only-folder"))
        ::chmod(QFile::encodeName(folder).constData(), 0755);
    if (setup == QLatin1String("unreadable-file"))
        ::chmod(QFile::encodeName(target).constData(), 0644);
    QCOMPARE(readRaw(setup == QLatin1String("parent-is-file") ? folder : target), before);
    if (setup == QLatin1String("read-only-folder"))
        QVERIFY(strayFiles(folder).isEmpty());
}

void TstIniStore::writeFailingPartWayKeepsOldFile()
{
    const QByteArray initial("[SEC]\r\nNAME=STUDIO\r\n");
    writeRaw(path(), initial);
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--limited-write"), path()});
    QVERIFY(child.waitForFinished(30000));
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 0);
    QCOMPARE(child.readAllStandardOutput().trimmed(), QByteArray("failed"));
    QVERIFY(QString::fromLocal8Bit(child.readAllStandardError()).contains(kSaveFailed));
    QCOMPARE(readRaw(path()), initial);
    QCOMPARE(strayFiles(m_dir->path()), QStringList());
}

void TstIniStore::killedWriterNeverLeavesTornFile()
{
    // A database large enough that a kill often lands in the middle of a write.
    const QString scratch = m_dir->filePath(QStringLiteral("scratch.ini"));
    for (int i = 0; i < 600; ++i) {
        WriteManyToINI(QStringLiteral("%1").arg(i, 12, 10, QLatin1Char('0')),
                       {{QStringLiteral("name"), QStringLiteral("ELEMENT %1").arg(i)},
                        {QStringLiteral("ip"), QStringLiteral("10.0.%1.%2").arg(i / 256).arg(i % 256)},
                        {QStringLiteral("role"), QStringLiteral("2")},
                        {QStringLiteral("remote"), QStringLiteral("192.168.1.91")}},
                       scratch);
    }
    WriteToINI(QStringLiteral("SEC"), QStringLiteral("val"), QStringLiteral("EVEN"), scratch);
    const QByteArray even = readRaw(scratch);
    WriteToINI(QStringLiteral("SEC"), QStringLiteral("val"), QStringLiteral("ODD"), scratch);
    const QByteArray odd = readRaw(scratch);
    QVERIFY(QFile::rename(scratch, path()));
    QVERIFY(even.size() > 40000);

    int sawEven = 0;
    int sawOdd = 0;
    for (int round = 0; round < 20; ++round) {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--alternate-writes"), path()});
        QVERIFY(child.waitForReadyRead(30000));
        QTest::qSleep(int(QRandomGenerator::global()->bounded(1, 40)));
        child.kill();
        QVERIFY(child.waitForFinished(30000));

        const QByteArray now = readRaw(path());
        QVERIFY2(now == even || now == odd, qPrintable(QStringLiteral("round %1: %2 bytes").arg(round).arg(now.size())));
        (now == even ? sawEven : sawOdd)++;
        const QString value = ReadFromINI(QStringLiteral("SEC"), QStringLiteral("val"), path());
        QVERIFY(value == QLatin1String("EVEN") || value == QLatin1String("ODD"));
        QCOMPARE(sections(path()).size(), 601);
    }
    qInfo("after 20 kills: %d times the even file, %d times the odd one, %lld temporary files left",
          sawEven, sawOdd, qlonglong(strayFiles(m_dir->path()).size()));
}

void TstIniStore::replacementKeepsModeAndLink_data()
{
    QTest::addColumn<bool>("throughLink");
    QTest::addColumn<int>("mode");
    QTest::newRow("private file") << false << 0600;
    QTest::newRow("group-readable file") << false << 0640;
    QTest::newRow("database reached through a link") << true << 0644;
}

void TstIniStore::replacementKeepsModeAndLink()
{
    QFETCH(bool, throughLink);
    QFETCH(int, mode);
    const QString real = throughLink ? m_dir->filePath(QStringLiteral("real.ini")) : path();
    writeRaw(real, "[A]\r\nK=1\r\n");
    QVERIFY(::chmod(QFile::encodeName(real).constData(), mode_t(mode)) == 0);
    if (throughLink)
        QVERIFY(QFile::link(real, path()));

    WriteToINI(QStringLiteral("A"), QStringLiteral("K"), QStringLiteral("2"), path());
    QVERIFY(lastIniWriteSucceeded());
    QCOMPARE(readRaw(real), QByteArray("[A]\r\nK=2\r\n"));
    QCOMPARE(QFileInfo(path()).isSymLink(), throughLink);
    struct stat st {};
    QCOMPARE(::stat(QFile::encodeName(real).constData(), &st), 0);
    QCOMPARE(int(st.st_mode & 07777), mode);
}

void TstIniStore::changesByOthersAreSeen_data()
{
    QTest::addColumn<QString>("change");
    QTest::newRow("same size in place, time stamp put back") << "in-place";
    QTest::newRow("longer text") << "longer";
    QTest::newRow("replaced by another file") << "replaced";
    QTest::newRow("deleted") << "deleted";
}

void TstIniStore::changesByOthersAreSeen()
{
    QFETCH(QString, change);
    // Read once after the store's own write and once after a plain file write, so both
    // kinds of remembered parse are put to the test.
    for (const bool ownWrite : {true, false}) {
        if (ownWrite)
            WriteToINI(QStringLiteral("A"), QStringLiteral("K"), QStringLiteral("AAAA"), path());
        else
            writeRaw(path(), "[A]\r\nK=AAAA\r\n");
        QCOMPARE(ReadFromINI(QStringLiteral("A"), QStringLiteral("K"), path()), QStringLiteral("AAAA"));

        struct stat st {};
        QCOMPARE(::stat(QFile::encodeName(path()).constData(), &st), 0);
        if (change == QLatin1String("in-place")) {
            QFile file(path());
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.seek(7));
            QCOMPARE(file.write("BBBB"), qint64(4));
            file.close();
            const timespec times[2] = {st.st_atim, st.st_mtim};
            QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(path()).constData(), times, 0), 0);
        } else if (change == QLatin1String("longer")) {
            writeRaw(path(), "[A]\r\nK=BBBB+\r\n");
        } else if (change == QLatin1String("replaced")) {
            const QString other = m_dir->filePath(QStringLiteral("other.ini"));
            writeRaw(other, "[A]\r\nK=BBBB\r\n");
            QVERIFY(::rename(QFile::encodeName(other).constData(), QFile::encodeName(path()).constData()) == 0);
        } else {
            QVERIFY(QFile::remove(path()));
        }
        const QString expected = change == QLatin1String("deleted") ? QStringLiteral("<none>")
                               : change == QLatin1String("longer")  ? QStringLiteral("BBBB+")
                                                                    : QStringLiteral("BBBB");
        QCOMPARE(ReadFromINI(QStringLiteral("A"), QStringLiteral("K"), path(), QStringLiteral("<none>")), expected);
    }
}

int main(int argc, char **argv)
{
    if (argc >= 3 && qstrcmp(argv[1], "--alternate-writes") == 0)
        return alternateWrites(QString::fromLocal8Bit(argv[2]));
    if (argc >= 3 && qstrcmp(argv[1], "--limited-write") == 0)
        return limitedWrite(QString::fromLocal8Bit(argv[2]));
    QCoreApplication app(argc, argv);
    TstIniStore test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_inistore.moc"
