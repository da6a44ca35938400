#include "windows/MessageBox.h"

#include <QMessageBox>
#include <QWidget>

#include "platform/ProgramExit.h"

namespace platform {

namespace {

class QtMessageBox final : public MessageBoxService {
public:
    MsgAnswer show(QWidget *parent, const MessageSpec &message) override
    {
        QMessageBox box(parent);
        // Names and addresses in these texts come from the network: never markup.
        box.setTextFormat(Qt::PlainText);
        QString text = message.text;
        text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
        box.setText(text);
        box.setWindowTitle(message.title.isEmpty() ? applicationTitle() : message.title);
        switch (message.icon) {
        case MsgIcon::Information: box.setIcon(QMessageBox::Information); break;
        case MsgIcon::Question: box.setIcon(QMessageBox::Question); break;
        case MsgIcon::Critical: box.setIcon(QMessageBox::Critical); break;
        }
        if (message.buttons == MsgButtons::YesNo) {
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            box.setDefaultButton(QMessageBox::No);
            box.setEscapeButton(QMessageBox::No);
            return box.exec() == QMessageBox::Yes ? MsgAnswer::Yes : MsgAnswer::No;
        }
        box.setStandardButtons(QMessageBox::Ok);
        box.exec();
        return MsgAnswer::Ok;
    }
};

QtMessageBox g_real;
MessageBoxService *g_current = nullptr;

} // namespace

MessageBoxService &messageBox()
{
    return g_current ? *g_current : g_real;
}

void setMessageBox(MessageBoxService *service)
{
    g_current = service;
}

MsgAnswer showMessage(QWidget *parent, const QString &text, MsgIcon icon, MsgButtons buttons,
                      const QString &title)
{
    return messageBox().show(parent, MessageSpec{text, icon, buttons, title});
}

MsgAnswer showMessage(QWidget *parent, const MessageSpec &box)
{
    return messageBox().show(parent, box);
}

bool showOutcome(QWidget *parent, const station::Result &result)
{
    if (!result.message.text.isEmpty())
        showMessage(parent, result.message);
    if (result.outcome == station::Outcome::PortBusy)
        endProgram(1);
    return result.ok();
}

QString applicationTitle()
{
    return QStringLiteral("Brivolte NMS");
}

} // namespace platform
