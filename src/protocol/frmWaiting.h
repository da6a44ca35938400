#pragma once
// The MAC wait window "Waiting remote response...": asks the ARP service once a second
// for the hardware address of frmMain::UDP_Response_IP until it answers, the main
// window's getMACTimeout ticks have passed, or the operator closes the window. The result
// is left in frmMain::sRemoteMacAddress2 (unchanged when nothing was found).
//
// Shown modally (exec) by the reply handling; each attempt blocks the window for up to
// about a second while the kernel resolves the address.

#include <QDialog>
#include <QTimer>

class QLabel;
class frmMain;

class frmWaiting : public QDialog {
    Q_OBJECT
public:
    explicit frmWaiting(frmMain *main);

    // Tests shorten the tick; 0 restores the station's 1000 ms.
    static void setTickIntervalForTests(int milliseconds);

protected:
    // The close box (and Escape) end the wait with whatever was found so far.
    void reject() override;
    void showEvent(QShowEvent *event) override;

private:
    void timerGetMAC_Timer();
    void finish();

    frmMain *m_main;
    QLabel *lblWaitTimeout;
    QTimer timerGetMAC;
};
