#include "platform/MessageBox.h"

#include <QMessageBox>
#include <QWidget>
#include <QtDebug>

#include "platform/BoxGate.h"

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
BoxGate g_gate;

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

void showOncePerKind(QWidget *parent, const QString &kind, const QString &text, MsgIcon icon)
{
    const QString key = kind.isEmpty() ? text : kind;
    if (!g_gate.open(key))
        return;
    showMessage(parent, text, icon);
    if (const int more = g_gate.take(key); more > 0)
        showMessage(parent, BoxGate::summary(text, more), icon);
    // One summary at most: what came while it was open only reaches the log.
    if (const int late = g_gate.close(key); late > 0)
        qWarning().noquote() << "brivolte-nms:" << late << "more like" << key
                             << "while its summary was open";
}

bool countIfShowing(const QString &kind)
{
    return g_gate.countIfOpen(kind);
}

QString applicationTitle()
{
    return QStringLiteral("Brivolte NMS");
}

} // namespace platform
