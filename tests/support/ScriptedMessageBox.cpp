#include "support/ScriptedMessageBox.h"

#include <QEventLoop>
#include <QTimer>

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
    m_deepest = qMax(m_deepest, ++m_open);
    if (m_onShow)
        m_onShow(box);
    // Taken now: boxes opened while this one stays open must not take its answer.
    platform::MsgAnswer answer = box.buttons == platform::MsgButtons::YesNo ? platform::MsgAnswer::No
                                                                            : platform::MsgAnswer::Ok;
    if (!m_answers.isEmpty())
        answer = m_answers.takeFirst();
    if (m_openMilliseconds > 0) {
        QEventLoop open;
        QTimer::singleShot(m_openMilliseconds, &open, &QEventLoop::quit);
        open.exec();
    }
    --m_open;
    return answer;
}

QStringList ScriptedMessageBox::texts() const
{
    QStringList out;
    for (const auto &box : m_shown)
        out << box.text;
    return out;
}
