#include "protocol/frmPaging.h"

#include "app/frmMain.h"

frmPaging::frmPaging(frmMain *main)
    : QDialog(main)
    , m_main(main)
{
}

int frmPaging::exec()
{
    return QDialog::Rejected;
}
