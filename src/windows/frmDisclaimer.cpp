#include "windows/frmDisclaimer.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFont>
#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/Settings.h"

namespace {

// Image1: a 420x373 picture drawn in code (a studio-to-transmitter link).
QPixmap noticePicture()
{
    QPixmap pixmap(420, 373);
    pixmap.fill(QColor(24, 40, 72));
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(255, 200, 60), 6));
    p.drawLine(QPointF(320, 330), QPointF(350, 120));
    p.drawLine(QPointF(380, 330), QPointF(350, 120));
    p.drawLine(QPointF(330, 260), QPointF(370, 260));
    p.drawLine(QPointF(338, 200), QPointF(362, 200));
    p.setPen(QPen(QColor(120, 200, 255), 3));
    for (int r = 20; r <= 80; r += 30)
        p.drawArc(QRectF(350 - r, 120 - r, 2 * r, 2 * r), 45 * 16, 90 * 16);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(200, 210, 230));
    p.drawRect(QRectF(40, 240, 120, 90));
    p.setPen(QPen(QColor(120, 255, 140), 3, Qt::DashLine));
    p.drawLine(QPointF(160, 285), QPointF(320, 285));
    p.setPen(Qt::white);
    QFont f = p.font();
    f.setPointSize(18);
    f.setBold(true);
    p.setFont(f);
    p.drawText(QRectF(20, 30, 380, 40), Qt::AlignLeft, QStringLiteral("Brivolte NMS"));
    return pixmap;
}

} // namespace

frmDisclaimer::frmDisclaimer(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("frmDisclaimer"));
    setWindowTitle(QStringLiteral("Brivolte NMS"));
    setModal(true);
    auto *layout = new QVBoxLayout(this);

    auto *image = new QLabel(this);
    image->setObjectName(QStringLiteral("Image1"));
    image->setPixmap(noticePicture());
    layout->addWidget(image, 0, Qt::AlignHCenter);

    auto *heading = new QLabel(QStringLiteral("IMPORTANT NOTICE!"), this);
    heading->setObjectName(QStringLiteral("Label1"));
    QFont big = heading->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    heading->setFont(big);
    layout->addWidget(heading);

    auto *text = new QLabel(QStringLiteral("Since NMS version 3.4.2, we made many significant changes. DO NOT use "
                                           "NMS v.3.4.2 to manage Brivolte equipment with older firmware, or "
                                           "they will become unusable."),
                            this);
    text->setObjectName(QStringLiteral("Label2"));
    text->setWordWrap(true);
    text->setTextFormat(Qt::PlainText);
    layout->addWidget(text);

    auto *line = new QFrame(this);
    line->setObjectName(QStringLiteral("Line1"));
    line->setFrameShape(QFrame::HLine);
    layout->addWidget(line);

    auto *support = new QLabel(QStringLiteral("If you are not sure which version your Brivolte equipment has, "
                                              "please consult your local dealer, or contact our support    at "
                                              "support@quorvane.example"),
                               this);
    support->setObjectName(QStringLiteral("Label3"));
    support->setWordWrap(true);
    support->setTextFormat(Qt::PlainText);
    layout->addWidget(support);

    chkAgree = new QCheckBox(
        QStringLiteral("I have read and understood all the above. Do not show this notification again."), this);
    chkAgree->setObjectName(QStringLiteral("chkAgree"));
    layout->addWidget(chkAgree);
    connect(chkAgree, &QCheckBox::toggled, this, &frmDisclaimer::chkAgree_Click);

    cmdClose = new QPushButton(QStringLiteral("&Close"), this);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    layout->addWidget(cmdClose, 0, Qt::AlignRight);
    connect(cmdClose, &QPushButton::clicked, this, [this] {
        m_closing = true;
        accept();
    });
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void frmDisclaimer::chkAgree_Click()
{
    platform::writeSetting(QStringLiteral("EULA1"), chkAgree->isChecked() ? QStringLiteral("1")
                                                                          : QStringLiteral("0"));
}

void frmDisclaimer::reject()
{
    // Escape does not dismiss the notice.
}

void frmDisclaimer::closeEvent(QCloseEvent *event)
{
    if (m_closing)
        event->accept();
    else
        event->ignore();
}
