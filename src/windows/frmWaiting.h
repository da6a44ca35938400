#pragma once
// The MAC wait window "Waiting remote response...": shown while the station waits for
// the MAC address of an element that answered a configuration (station::MacWait). It
// blocks the main window's input but runs no event loop of its own: it is opened
// (open(), not exec()) when the wait starts and closed when the wait ends. Its close box
// (and Escape) end the wait with whatever was found so far.

#include <QDialog>

class QLabel;

namespace station {
class MacWait;
}

class frmWaiting : public QDialog {
    Q_OBJECT
public:
    frmWaiting(station::MacWait &wait, QWidget *parent);

protected:
    void reject() override;

private:
    station::MacWait &m_wait;
    QLabel *lblWaitTimeout;
};
