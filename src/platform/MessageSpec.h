#pragma once
// A message box as a value: what the station says, with its icon, buttons and title. The
// core reports its messages this way; the windows show them (MessageBox.h), the
// command-line tool prints them.

#include <QString>

namespace platform {

enum class MsgIcon { Information, Question, Critical };
enum class MsgButtons { Ok, YesNo };   // YesNo always has No as the default button
enum class MsgAnswer { Ok, Yes, No };

struct MessageSpec {
    QString text;    // lines joined by a single CR, exactly as the station words them
    MsgIcon icon = MsgIcon::Information;
    MsgButtons buttons = MsgButtons::Ok;
    QString title;   // empty: the application's title
    bool operator==(const MessageSpec &o) const
    {
        return text == o.text && icon == o.icon && buttons == o.buttons && title == o.title;
    }
};

} // namespace platform
