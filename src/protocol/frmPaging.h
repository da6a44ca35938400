#pragma once
// The discovery window "Paging network...": keeps a copy of the database, empties it,
// broadcasts the paging request once from the main socket, lets the answers be stored as
// they arrive and rebuilds the tree after 3000 ms. No buttons and no close box: the
// window ends itself when its time is up.

#include <QByteArray>
#include <QDialog>
#include <QElapsedTimer>
#include <QSet>
#include <QString>
#include <QTimer>

class QLabel;
class QProgressBar;
class frmMain;

class frmPaging : public QDialog {
    Q_OBJECT
public:
    explicit frmPaging(frmMain *main);
    // Runs the start sequence, then waits modally until the end sequence has run.
    int exec() override;

    static constexpr int kCollectMilliseconds = 3000;

protected:
    void reject() override;   // Escape and the window manager's close do nothing
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    bool replaceDatabase(QString *problem);
    // Puts back the database replaceDatabase emptied (file; the caller rebuilds the tree).
    bool restoreDatabase();
    void notSent(const QString &reasons);
    static bool linkOver(const QString &from, const QString &to);
    void Timer1_Timer();
    void endSequence();
    void elementStored();
    void updateProgress();

    frmMain *m_main;
    QLabel *Label1;
    QLabel *lblFound;
    QLabel *lblInterfaces;   // which interfaces the request went out on
    QProgressBar *progress;
    QTimer Timer1;
    QTimer progressTimer;
    QElapsedTimer elapsed;
    QString SavedRemoteHost;
    qint32 SavedRemotePort = 0;
    QByteArray m_previous;      // the database as it was before this discovery
    bool m_hadDatabase = false;
    bool m_replaced = false;    // the database was emptied by this discovery
    bool m_linked = false;      // m_keptPath is the previous database itself
    QString m_keptPath;
    int m_found = 0;
    QSet<QString> m_foundMacs;
    int m_notStored = 0;        // answers whose record could not be written
    bool m_finished = false;
};
