#pragma once
// The discovery window "Paging network...": empties the database, broadcasts the paging
// request once, stores the answers as they arrive and rebuilds the tree after 3000 ms.

#include <QDialog>
#include <QTimer>

class frmMain;

class frmPaging : public QDialog {
    Q_OBJECT
public:
    explicit frmPaging(frmMain *main);
    int exec() override;

private:
    frmMain *m_main;
};
