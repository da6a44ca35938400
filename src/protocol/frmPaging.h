#pragma once
// The discovery window "Paging network...": keeps a copy of the database, empties it,
// broadcasts the paging request once from the main socket, lets the answers be stored as
// they arrive and rebuilds the tree after 3000 ms. No buttons and no close box: the
// window ends itself when its time is up.

#include <QDialog>
#include <QElapsedTimer>
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
    void Timer1_Timer();
    void endSequence();
    void elementStored();
    void updateProgress();

    frmMain *m_main;
    QLabel *Label1;
    QLabel *lblFound;
    QProgressBar *progress;
    QTimer Timer1;
    QTimer progressTimer;
    QElapsedTimer elapsed;
    QString SavedRemoteHost;
    qint32 SavedRemotePort = 0;
    int m_found = 0;
    bool m_finished = false;
};
