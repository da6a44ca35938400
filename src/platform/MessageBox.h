#pragma once
// Every message box of the station goes through this seam so that tests can read what
// would have been shown and answer Yes/No without a modal loop.

#include <QString>

class QWidget;

namespace platform {

enum class MsgIcon { Information, Question, Critical };
enum class MsgButtons { Ok, YesNo };   // YesNo always has No as the default button
enum class MsgAnswer { Ok, Yes, No };

struct MessageSpec {
    QString text;    // lines joined by a single CR, exactly as the station words them
    MsgIcon icon = MsgIcon::Information;
    MsgButtons buttons = MsgButtons::Ok;
    QString title;   // empty: the application's title
};

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

// For trouble that a peer on the network can repeat at will (a corrupted answer, an
// unreadable record): shows the box unless one of the same kind is open, in which case
// this one is only counted; after the operator closes the box, one summary tells how
// many more came meanwhile. An empty kind is the text itself.
void showOncePerKind(QWidget *parent, const QString &kind, const QString &text, MsgIcon icon);
// True when a box of `kind` is open; this trouble then joins its count.
bool countIfShowing(const QString &kind);

// Title used by boxes that have none of their own.
QString applicationTitle();

} // namespace platform
