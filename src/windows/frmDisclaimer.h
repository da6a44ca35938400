#pragma once
// The start-up notice about older firmware, shown until the operator ticks its box once.

#include <QDialog>

class QCheckBox;
class QPushButton;

class frmDisclaimer : public QDialog {
    Q_OBJECT
public:
    explicit frmDisclaimer(QWidget *parent = nullptr);

    QCheckBox *chkAgree = nullptr;
    QPushButton *cmdClose = nullptr;

protected:
    void reject() override;   // no Escape, no close box: only cmdClose closes it
    void closeEvent(QCloseEvent *event) override;

private:
    void chkAgree_Click();
    bool m_closing = false;
};
