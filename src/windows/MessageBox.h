#pragma once
// Every message box of the station goes through this seam so that tests can read what
// would have been shown and answer Yes/No without a modal loop.

#include <QString>

#include "platform/MessageSpec.h"
#include "station/Result.h"

class QWidget;

namespace platform {

class MessageBoxService {
public:
    virtual ~MessageBoxService() = default;
    // Blocks until the operator answers (the real one runs a modal loop).
    virtual MsgAnswer show(QWidget *parent, const MessageSpec &box) = 0;
};

// The service in use; the real one unless a test installed another (not owned).
MessageBoxService &messageBox();
void setMessageBox(MessageBoxService *service);   // nullptr restores the real one

MsgAnswer showMessage(QWidget *parent, const QString &text, MsgIcon icon,
                      MsgButtons buttons = MsgButtons::Ok, const QString &title = QString());
MsgAnswer showMessage(QWidget *parent, const MessageSpec &box);
// What a request of the station's core came to: its message, if it has one. A port that
// another program holds ends the whole program after its message. True when it was done.
bool showOutcome(QWidget *parent, const station::Result &result);

// Title used by boxes that have none of their own.
QString applicationTitle();

} // namespace platform
