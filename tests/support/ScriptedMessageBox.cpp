#include "support/ScriptedMessageBox.h"

ScriptedMessageBox::ScriptedMessageBox()
{
    platform::setMessageBox(this);
}

ScriptedMessageBox::~ScriptedMessageBox()
{
    platform::setMessageBox(nullptr);
}

platform::MsgAnswer ScriptedMessageBox::show(QWidget *, const platform::MessageSpec &box)
{
    m_shown.append(box);
    if (m_onShow)
        m_onShow(box);
    if (!m_answers.isEmpty())
        return m_answers.takeFirst();
    return box.buttons == platform::MsgButtons::YesNo ? platform::MsgAnswer::No
                                                       : platform::MsgAnswer::Ok;
}

QStringList ScriptedMessageBox::texts() const
{
    QStringList out;
    for (const auto &box : m_shown)
        out << box.text;
    return out;
}
