#pragma once
// Puts the station's files in a temporary folder for one test: the database
// (BRIVOLTE_NMS_DIR), the per-user settings (XDG_CONFIG_HOME) and the instance lock
// (XDG_RUNTIME_DIR); catches "the program ends" instead of exiting.

#include <QString>
#include <QTemporaryDir>

// Whether this process runs in the station namespace of a test network it was started in
// (lab/run-in-lab.sh). Asked once.
bool inLabStationNamespace();

// Outside a test network no test may page or fall back to paging interfaces: that would
// broadcast on the machine's real networks. Installs an interface listing that lists
// none there, and fails the running test when a paging request is attempted. Inside the
// lab it leaves the real listing. TestEnvironment calls it; tests without one call it too.
void guardHostNamespace();

class TestEnvironment {
public:
    TestEnvironment();
    ~TestEnvironment();

    QString dir() const { return m_dir.path(); }
    QString iniPath() const { return m_dir.path() + QStringLiteral("/db/nms.ini"); }
    // Writes nms.ini from text with CR LF line ends ("\n" in the argument).
    void writeIni(const QString &text) const;
    QString readIni() const;   // raw text, CR LF kept

    int endProgramCalls() const { return m_endCalls; }
    int lastExitCode() const { return m_lastExit; }

private:
    QTemporaryDir m_dir;
    int m_endCalls = 0;
    int m_lastExit = 0;
};
