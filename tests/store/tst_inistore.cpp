// The INI store on real files: layout, case-blind matching, value cleaning, damaged files, refused names,
// failed and interrupted writes.

#include "store/IniStore.h"

#include <QtTest>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

QByteArray readRaw(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();   // null: no file
}

void writeRaw(const QString &path, const QByteArray &data)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(data) == data.size(),
             qPrintable(path));
}

QStringList sections(const QString &path)
{
    QStringList list;
    LoadIniSectionsLB(list, path);
    return list;
}

// The store remembers its last parse; a copy of the file under another name is parsed afresh, so
// everything the two show of a file just written tells whether what was remembered is on disk.
void compareWithFreshParse(const QString &path)
{
    const auto everything = [](const QString &file) {
        QString text;
        for (const QString &section : sections(file)) {
            QStringList keys;
            LoadIniSectionKeysLB(section, keys, file);
            text += u'[' + section + u"] %1\n"_s.arg(GetSectionKeyCount(section, file));
            for (const QString &key : keys)
                text += key + u'=' + ReadFromINI(section, key, file) + u'\n';
        }
        return text;
    };
    const QString copy = path + u".copy"_s;
    QVERIFY(QFile::copy(path, copy));
    QCOMPARE(everything(path), everything(copy));
    QVERIFY(QFile::remove(copy));
}

// Folder entries other than the database: temporary files a write left behind.
QStringList strayFiles(const QString &dir)
{
    QStringList entries = QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System);
    entries.removeAll(u"nms.ini"_s);
    return entries;
}

const QRegularExpression kSaveFailed(u"Cannot save the element database"_s);

// A database of 600 elements as the store writes it, and the names of its sections.
QByteArray bigDatabase(QStringList *names)
{
    QByteArray text;
    for (int i = 0; i < 600; ++i) {
        names->append(u"%1"_s.arg(0x001122000000LL + i * 7919, 12, 16, QChar(u'0')).toUpper());
        text += u"[%1]\r\nNAME=ELEMENT %2\r\nIP=10.0.%3.%4\r\nROLE=2\r\nREMOTE=192.168.1.91\r\n"_s
                    .arg(names->last()).arg(i).arg(i / 256).arg(i % 256).toLatin1();
    }
    return text;
}

} // namespace

class TstIniStore : public QObject {
    Q_OBJECT
    QString path() const { return m_dir->filePath(u"nms.ini"_s); }
    std::unique_ptr<QTemporaryDir> m_dir;

private slots:
    void init() { QVERIFY((m_dir = std::make_unique<QTemporaryDir>())->isValid()); }

    void valueRoundTrip_data()
    {
        QTest::addColumn<QString>("written");
        QTest::addColumn<QByteArray>("onDisk");   // the value as the key line holds it
        QTest::newRow("blanks around trimmed, inner ones kept") << u"  TX  SITE  "_s << "TX  SITE"_ba;
        QTest::newRow("latin-1 bytes") << u"CAFÉ ÿ"_s << "CAF\xC9 \xFF"_ba;
        QTest::newRow("beyond latin-1") << u"A€"_s << "A?"_ba;
        QTest::newRow("800 stored, 749 read") << QString(800, u'x') << QByteArray(800, 'x');
        QTest::newRow("cut at NUL") << u"AB\0CD"_s << "AB"_ba;
        // Element names arrive from the network: no line break may reach the file.
        QTest::newRow("CR LF injection") << u"X\r\n[EVIL]\r\nROLE=1"_s << "X  [EVIL]  ROLE=1"_ba;
        QTest::newRow("lone CR and LF injection") << u"X\r[EVIL]\nROLE=1"_s << "X [EVIL] ROLE=1"_ba;
    }

    void valueRoundTrip()
    {
        QFETCH(QString, written); QFETCH(QByteArray, onDisk);
        QVERIFY(WriteToINI("001122AABBCC", "name", written, path()));
        QCOMPARE(readRaw(path()), "[001122AABBCC]\r\nNAME=" + onDisk + "\r\n");
        QCOMPARE(ReadFromINI("001122aabbcc", "name", path()), QString::fromLatin1(onDisk).left(749));
        // Several keys in one write clean their values the same way.
        WriteManyToINI("001122AABBCC", {{u"ip"_s, u"1.2.3.4"_s}, {u"name"_s, written}}, path());
        QCOMPARE(readRaw(path()), "[001122AABBCC]\r\nNAME=" + onDisk + "\r\nIP=1.2.3.4\r\n");
    }

    void edits_data()
    {
        QTest::addColumn<QByteArray>("initial");   // null: no file
        QTest::addColumn<QString>("ops");          // "operation arguments…; …"; "many" is WriteManyToINI
        QTest::addColumn<QByteArray>("expected");  // null: still no file
        const QByteArray z800(800, 'z');
        QTest::newRow("sections appended in order, key at end of its section, replace in place") << QByteArray()
            << "write AAA name one; write BBB ip 1.2.3.4; write aaa Role 1; write AaA NAME two"
            << "[AAA]\r\nNAME=two\r\nROLE=1\r\n[BBB]\r\nIP=1.2.3.4\r\n"_ba;
        QTest::newRow("hand-written layout kept, new key before the blank line")
            << "; note\r\n\r\n[aaa]\r\nname = old\r\n\r\n[BBB]\r\nX=1\r\n"_ba
            << "write AAA NAME new; write AAA ip 1.1.1.1"
            << "; note\r\n\r\n[aaa]\r\nNAME=new\r\nIP=1.1.1.1\r\n\r\n[BBB]\r\nX=1\r\n"_ba;
        QTest::newRow("same value and missing names leave the file untouched") << "[A]\nK=1\n"_ba
            << "write a k 1; many A k 1; deleteKey A Q; deleteKey Q K; renameKey A Q R; renameSection Q R"
            << "[A]\nK=1\n"_ba;
        QTest::newRow("several keys: any case, in place, the last of a key twice wins")
            << "[SEC]\r\nNAME=old\r\nip=0.0.0.0\r\n[OTHER]\r\nK=1\r\n"_ba
            << "many sec Ip 10.0.0.1 b x name new B y"
            << "[SEC]\r\nNAME=new\r\nIP=10.0.0.1\r\nB=y\r\n[OTHER]\r\nK=1\r\n"_ba;
        QTest::newRow("first of duplicate sections and keys is written")
            << "[A]\r\nK=1\r\nk=2\r\n[B]\r\n[a]\r\nK=2\r\n"_ba << "write A K 3"
            << "[A]\r\nK=3\r\nk=2\r\n[B]\r\n[a]\r\nK=2\r\n"_ba;
        QTest::newRow("delete key, every copy of it") << "[A]\r\nK=1\r\nX=0\r\nk=2\r\n[B]\r\nK=9\r\n"_ba
            << "deleteKey a k" << "[A]\r\nX=0\r\n[B]\r\nK=9\r\n"_ba;
        QTest::newRow("delete section, every copy of it") << "[A]\r\nK=1\r\n[B]\r\n[a]\r\nK=2\r\n"_ba
            << "deleteSection a" << "[B]\r\n"_ba;
        QTest::newRow("no file: deletes make none") << QByteArray() << "deleteSection A; deleteKey A K" << QByteArray();
        QTest::newRow("renamed key moves to the end, upper case, with its whole value")
            << "[A]\r\nX=1\r\nold=" + z800 + "\r\nY=2\r\n" << "renameKey A OLD new"
            << "[A]\r\nX=1\r\nY=2\r\nNEW=" + z800 + "\r\n";
        QTest::newRow("renamed section moves to the end with whole values")
            << "[OLD]\r\na=1\r\nJUNK\r\nb=x=y\r\n[C]\r\nK=1\r\n"_ba << "renameSection old NEW"
            << "[C]\r\nK=1\r\n[NEW]\r\nA=1\r\nB=x=y\r\n"_ba;
        QTest::newRow("key and section renamed to their own names keep their values")
            << "[abc]\r\nname=v\r\n"_ba << "renameKey abc name NAME; renameSection abc ABC" << "[ABC]\r\nNAME=v\r\n"_ba;
        QTest::newRow("section renamed onto an existing one merges into it")
            << "[OLD]\r\nA=1\r\n[NEW]\r\nA=0\r\nB=2\r\n"_ba << "renameSection OLD NEW" << "[NEW]\r\nA=1\r\nB=2\r\n"_ba;
        QTest::newRow("renamed section without keys still exists")
            << "[OLD]\r\n"_ba << "renameSection OLD NEW" << "[NEW]\r\n"_ba;
    }

    void edits()
    {
        QFETCH(QByteArray, initial); QFETCH(QString, ops); QFETCH(QByteArray, expected);
        if (!initial.isNull())
            writeRaw(path(), initial);
        for (const QString &op : ops.split(u';')) {
            const QStringList a = op.trimmed().split(u' ');
            IniPairs pairs;
            for (int i = 2; i + 1 < a.size(); i += 2)
                pairs.append({a[i], a[i + 1]});
            const bool done = a[0] == "write"           ? WriteToINI(a[1], a[2], a[3], path())
                              : a[0] == "many"          ? WriteManyToINI(a[1], pairs, path())
                              : a[0] == "deleteKey"     ? DeleteIniKey(a[1], a[2], path())
                              : a[0] == "deleteSection" ? DeleteIniSection(a[1], path())
                              : a[0] == "renameKey"     ? RenameIniKey(a[1], a[2], a[3], path())
                                                        : RenameIniSection(a[1], a[2], path());
            QVERIFY2(done, qPrintable(op));
        }
        QCOMPARE(readRaw(path()), expected);
        QVERIFY(strayFiles(m_dir->path()).isEmpty());
        if (!expected.isNull())
            compareWithFreshParse(path());
    }

    void reads_data()
    {
        QTest::addColumn<QByteArray>("file");       // null: no file
        QTest::addColumn<QString>("key");           // read from section A
        QTest::addColumn<QString>("value");         // "<none>": the key is missing
        QTest::addColumn<QString>("keyNames");      // of section A, blank-separated
        QTest::addColumn<QString>("sectionNames");
        QRandomGenerator random(20240611);
        QByteArray junk(65536, Qt::Uninitialized);
        for (char &c : junk)
            c = char(random.bounded(256));
        junk.replace('[', 'x');
        const QByteArray megabyte(1 << 20, 'm');
        const QString none = u"<none>"_s;

        QTest::newRow("no file") << QByteArray() << "K" << none << "" << "";
        QTest::newRow("no such section") << "[B]\r\nK=1\r\n"_ba << "K" << none << "" << "B";
        QTest::newRow("header without keys") << "[A]\r\n[B]\r\nK=1\r\n"_ba << "K" << none << "" << "A B";
        // A key is there whatever its value, the empty one or one a sentinel might use.
        QTest::newRow("empty value is present") << "[A]\r\nK=\r\n"_ba << "k" << "" << "K" << "A";
        QTest::newRow("value A is present") << "[A]\r\nK=A\r\n"_ba << "K" << "A" << "K" << "A";
        QTest::newRow("key lines in file order, as spelt")
            << "[a]\r\nzeta=1\r\n\r\nAlpha = 2\r\nk=3\r\nK=4\r\n"_ba << "K" << "3" << "zeta Alpha k K" << "a";
        QTest::newRow("binary junk, then a good section") << junk + "\n[A]\r\nK=1\r\n" << "K" << "1" << "K" << "A";
        QTest::newRow("key after a 1 MB line") << "[A]\r\nK=" + megabyte + "\r\nL=2\r\n" << "L" << "2" << "K L" << "A";
        QTest::newRow("1 MB line without line end") << "[A]\r\n" + megabyte << "K" << none << "" << "A";
        QTest::newRow("duplicate sections: the first is read")
            << "[A]\r\nK=1\r\n[B]\r\nK=5\r\n[a]\r\nK=2\r\nL=3\r\n"_ba << "K" << "1" << "K" << "A B";
        QTest::newRow("keys without '='") << "[A]\r\nJUNK\r\nK\r\nK=1\r\n"_ba << "K" << "1" << "K" << "A";
        QTest::newRow("header without ']'") << "[A\r\nK=1\r\n"_ba << "K" << none << "" << "";
        QTest::newRow("empty header not listed") << "[]\r\nK=1\r\n[A]\r\nK=2\r\n"_ba << "K" << "2" << "K" << "A";
        QTest::newRow("text after the header") << "  [ A ] ; note\r\nK=1\r\n"_ba << "K" << "1" << "K" << "A";
        QTest::newRow("blanks around key and value") << "[A]\r\n  k  =\t v v \t\r\n"_ba << "K" << "v v" << "k" << "A";
        QTest::newRow("NUL inside a value") << "[A]\r\nK=ab\0cd\r\n"_ba << "K" << "ab" << "K" << "A";
        QTest::newRow("key with empty name ignored") << "[A]\r\n=1\r\n"_ba << "" << none << "" << "A";
    }

    void reads()
    {
        QFETCH(QByteArray, file); QFETCH(QString, key); QFETCH(QString, value); QFETCH(QString, keyNames);
        QFETCH(QString, sectionNames);
        const QStringList keyList = keyNames.split(u' ', Qt::SkipEmptyParts);
        const bool present = value != "<none>";
        if (!file.isNull())
            writeRaw(path(), file);

        const auto check = [&] {
            QCOMPARE(ReadFromINI("a", key, path(), "<none>"), value);
            QCOMPARE(CheckIfIniKeyExists("A", key, path()), present);
            QCOMPARE(CheckIfIniSectionExists("a", path()), !keyList.isEmpty());
            QCOMPARE(GetSectionKeyCount("A", path()), qint16(keyList.size()));
            QStringList listed{u"kept"_s};   // the listings add to the list they are given
            LoadIniSectionKeysLB("A", listed, path());
            QCOMPARE(listed, QStringList{u"kept"_s} + keyList);
            listed = sections(path());
            listed.removeAll(u"NEW"_s);
            QCOMPARE(listed.join(u' '), sectionNames);
        };
        check();
        if (file.isNull())
            QVERIFY(!QFile::exists(path()));
        if (file.isNull() || QTest::currentTestFailed())
            return;

        // A write adds to the file, sound or damaged, without losing any of it.
        WriteToINI("NEW", "k", "v", path());
        check();
        compareWithFreshParse(path());
        file.replace("\r\n", "\n");
        if (!file.isEmpty() && !file.endsWith('\n'))
            file.append('\n');
        QCOMPARE(readRaw(path()).replace("\r\n", "\n"), file + "[NEW]\nK=v\n");
    }

    void leadingWholeNumber_data()
    {
        QTest::addColumn<QString>("line"); QTest::addColumn<int>("number");
        const struct { const char *line; int number; } rows[] = {{"K=12abc", 12}, {"K=1.9", 1}, {"K=-5", -5},
            {"K =  +7  ", 7}, {"K=X", 0}, {"K=-", 0}, {"K=99999999999999999999", INT32_MAX},
            {"K=-99999999999999999999", INT32_MIN}, {"L=1", 42}};   // missing key: the default
        for (const auto &row : rows)
            QTest::newRow(row.line) << QString::fromLatin1(row.line) << row.number;
    }

    void leadingWholeNumber()
    {
        QFETCH(QString, line); QFETCH(int, number);
        writeRaw(path(), "[A]\r\n" + line.toLatin1() + "\r\n");
        QCOMPARE(GetLongFromINI("a", "K", path(), 42), number);
    }

    void refusedNames_data()
    {
        QTest::addColumn<QString>("section"); QTest::addColumn<QString>("key");
        for (const QString &section : {u"A]B"_s, u"A\r\n[EVIL]"_s, u"A\0B"_s, QString()})
            QTest::addRow("section '%s'", qPrintable(section)) << section << u"K"_s;
        for (const QString &key : {u"K=V"_s, u"[EVIL]"_s, u"K\r\nX"_s, QString(), u"K€"_s})
            QTest::addRow("key '%s'", qPrintable(key)) << u"A"_s << key;
    }

    void refusedNames()
    {
        QFETCH(QString, section); QFETCH(QString, key);
        const QByteArray initial("[A]\r\nK=1\r\n");
        writeRaw(path(), initial);
        QTest::ignoreMessage(QtWarningMsg, kSaveFailed);
        QVERIFY(!WriteToINI(section, key, "v", path()));
        QCOMPARE(readRaw(path()), initial);
        // Among good keys, a refused one is skipped and the failure still reported.
        QTest::ignoreMessage(QtWarningMsg, kSaveFailed);
        QVERIFY(!WriteManyToINI(section, {{u"good"_s, u"1"_s}, {key, u"v"_s}}, path()));
        QCOMPARE(readRaw(path()), section == "A" ? initial + "GOOD=1\r\n" : initial);
    }

    void failedWritesKeepOldFile_data()
    {
        QTest::addColumn<QString>("setup");
        for (const char *setup : {"full", "parent-is-file", "database-is-folder"})
            QTest::newRow(setup) << QString::fromLatin1(setup);
    }

    void failedWritesKeepOldFile()
    {
        QFETCH(QString, setup);
        const QByteArray initial("[A]\r\nK=1\r\n");
        const QString folder = m_dir->filePath(u"db"_s);
        const QString target = folder + u"/nms.ini"_s;
        QString survivor = target;   // what must be left as it was
        QByteArray before = initial;
        if (setup == "parent-is-file") {
            writeRaw(folder, initial);   // fails for root too: nothing can be made below a file
            survivor = folder;
        } else if (setup == "database-is-folder") {
            QVERIFY(QDir().mkpath(target));
            before = QByteArray();
        } else {
            QVERIFY(QDir().mkpath(folder));
            writeRaw(target, initial);
        }

        if (setup == "full") {
            QProcess child;
            child.start(QCoreApplication::applicationFilePath(), {u"--limited-write"_s, target});
            QVERIFY(child.waitForFinished(30000));
            QCOMPARE(child.readAllStandardOutput().trimmed(), "failed"_ba);
            QVERIFY(QString::fromLocal8Bit(child.readAllStandardError()).contains(kSaveFailed));
        } else {
            QTest::ignoreMessage(QtWarningMsg, kSaveFailed);
            QVERIFY(!WriteToINI("A", "K", "2", target));
            QVERIFY(WriteToINI("A", "K", "3", path()));
        }
        QCOMPARE(readRaw(survivor), before);
        QVERIFY(strayFiles(folder).isEmpty());
    }

    void killedWriterNeverLeavesTornFile()
    {
        // A database large enough that a kill often lands in the middle of a write; its 601
        // sections are all listed (no ceiling on the listing).
        QStringList names;
        const QByteArray big = bigDatabase(&names);
        const QByteArray even = big + "[SEC]\r\nVAL=EVEN\r\n";
        const QByteArray odd = big + "[SEC]\r\nVAL=ODD\r\n";
        writeRaw(path(), even);
        QCOMPARE(sections(path()), names << u"SEC"_s);

        for (int round = 0; round < 20; ++round) {
            QProcess child;
            child.start(QCoreApplication::applicationFilePath(), {u"--alternate-writes"_s, path()});
            QVERIFY(child.waitForReadyRead(30000));
            QTest::qSleep(int(QRandomGenerator::global()->bounded(1, 40)));
            child.kill();
            QVERIFY(child.waitForFinished(30000));
            const QByteArray now = readRaw(path());
            QVERIFY2(now == even || now == odd, qPrintable(u"round %1: %2 bytes"_s.arg(round).arg(now.size())));
            QVERIFY(ReadFromINI("SEC", "val", path()) == (now == even ? "EVEN" : "ODD"));
        }
    }

    void replacementKeepsModeAndLink()
    {
        for (const bool throughLink : {false, true}) {
            const QString real = m_dir->filePath(throughLink ? u"real.ini"_s : u"nms.ini"_s);
            const mode_t mode = throughLink ? 0600 : 0640;
            writeRaw(real, "[A]\r\nK=1\r\n");
            QCOMPARE(::chmod(QFile::encodeName(real).constData(), mode), 0);
            if (throughLink)
                QVERIFY(QFile::remove(path()) && QFile::link(real, path()));
            QVERIFY(WriteToINI("A", "K", "2", path()));
            QCOMPARE(readRaw(real), "[A]\r\nK=2\r\n"_ba);
            QCOMPARE(QFileInfo(path()).isSymLink(), throughLink);
            struct stat st {};
            QCOMPARE(::stat(QFile::encodeName(real).constData(), &st), 0);
            QCOMPARE(st.st_mode & 07777, mode);
        }
    }

    void changesByOthersAreSeen_data()
    {
        QTest::addColumn<QString>("change");
        for (const char *change : {"same size in place, time stamp put back", "replaced", "deleted"})
            QTest::newRow(change) << QString::fromLatin1(change);
    }

    void changesByOthersAreSeen()
    {
        QFETCH(QString, change);
        const QByteArray native = QFile::encodeName(path());
        const QString other = m_dir->filePath(u"other.ini"_s);
        // After the store's own write and after a plain file write: both kinds of remembered parse.
        for (const bool ownWrite : {true, false}) {
            if (ownWrite)
                WriteToINI("A", "K", "AAAA", path());
            else
                writeRaw(path(), "[A]\r\nK=AAAA\r\n");
            QCOMPARE(ReadFromINI("A", "K", path()), u"AAAA"_s);
            struct stat st {};
            QCOMPARE(::stat(native.constData(), &st), 0);
            if (change.startsWith(u"same")) {
                QFile file(path());
                QVERIFY(file.open(QIODevice::ReadWrite) && file.seek(7) && file.write("BBBB") == 4);
                file.close();
                const timespec times[2] = {st.st_atim, st.st_mtim};
                QCOMPARE(::utimensat(AT_FDCWD, native.constData(), times, 0), 0);
            } else if (change == "deleted") {
                QVERIFY(QFile::remove(path()));
            } else {
                writeRaw(other, "[A]\r\nK=BBBB\r\n");
                QCOMPARE(::rename(QFile::encodeName(other).constData(), native.constData()), 0);
            }
            QCOMPARE(ReadFromINI("A", "K", path(), "<none>"), change == "deleted" ? u"<none>"_s : u"BBBB"_s);
        }
    }
};

int main(int argc, char **argv)
{
    // Helper processes: the test binary started again with one of these arguments.
    const QString helperPath = argc >= 3 ? QString::fromLocal8Bit(argv[2]) : QString();
    if (argc >= 3 && qstrcmp(argv[1], "--alternate-writes") == 0) {
        // Rewrites one value back and forth until killed (bounded by count and time).
        QElapsedTimer clock;
        clock.start();
        std::setvbuf(stdout, nullptr, _IONBF, 0);
        for (int i = 0; i < 100000 && clock.elapsed() < 20000; ++i) {
            WriteToINI("SEC", "val", i % 2 == 0 ? "ODD" : "EVEN", helperPath);
            if (i == 0)
                std::fputs("ready\n", stdout);
        }
        return 0;
    }
    if (argc >= 3 && qstrcmp(argv[1], "--limited-write") == 0) {
        // Runs out of room part way: the file-size limit makes write() fail with EFBIG
        // the way a full disk fails with ENOSPC.
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{};
        getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = 4096;
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
            return 2;
        std::fputs(WriteToINI("SEC", "big", QString(20000, u'x'), helperPath) ? "succeeded\n" : "failed\n", stdout);
        return 0;
    }
    QCoreApplication app(argc, argv);
    TstIniStore test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_inistore.moc"
