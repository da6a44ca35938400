#include "support/ScriptedMessageBox.h"

ScriptedMessageBox::ScriptedMessageBox()
{
    platform::setMessageBox(this);
}

ScriptedMessageBox::~ScriptedMessageBox()
{
    platform::setMessageBox(nullptr);
}

platform::MsgAnswer ScriptedMessageBox::show(QWidget *, const platform::MessageSpec &spec)
{
    m_shown.append(spec);
    if (m_onShow)
        m_onShow(spec);
    if (!m_answers.isEmpty())
        return m_answers.takeFirst();
    return spec.buttons == platform::MsgButtons::YesNo ? platform::MsgAnswer::No
                                                       : platform::MsgAnswer::Ok;
}

QStringList ScriptedMessageBox::texts() const
{
    QStringList out;
    for (const auto &spec : m_shown)
        out << spec.text;
    return out;
}
