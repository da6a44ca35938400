#pragma once
// The discovery window "Paging network...": shows a discovery run (station::DiscoveryRun)
// while it collects answers, how many elements answered and where the request went, and
// what the run had to say at its end. No buttons and no close box: the window ends
// itself when the run's time is up. The caller rebuilds the tree afterwards.

#include <QDialog>
#include <QTimer>

#include "station/DiscoveryRun.h"

class QLabel;
class QProgressBar;

class frmPaging : public QDialog {
    Q_OBJECT
public:
    frmPaging(station::Station &station, QWidget *parent);
    // Runs the start sequence, then waits modally until the end sequence has run.
    int exec() override;

    static constexpr int kCollectMilliseconds = station::DiscoveryRun::kCollectMilliseconds;

protected:
    void reject() override;   // Escape and the window manager's close do nothing
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void Timer1_Timer(const station::Result &result);
    void updateProgress();

    station::DiscoveryRun m_run;
    QLabel *Label1;
    QLabel *lblFound;
    QLabel *lblInterfaces;   // which interfaces the request went out on
    QProgressBar *progress;
    QTimer progressTimer;
    bool m_finished = false;
};
