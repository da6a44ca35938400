#include "windows/frmEventLog.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QLabel>
#include <QPushButton>
#include <QSaveFile>
#include <QScrollBar>
#include <QStyle>
#include <QTableView>
#include <QVBoxLayout>

#include "windows/MessageBox.h"

namespace {

// The severity column with the style's own icons.
class SeverityIcons : public QIdentityProxyModel {
public:
    SeverityIcons(QStyle *style, QObject *parent)
        : QIdentityProxyModel(parent)
    {
        m_icons[0] = style->standardIcon(QStyle::SP_FileDialogInfoView);
        m_icons[1] = style->standardIcon(QStyle::SP_MessageBoxInformation);
        m_icons[2] = style->standardIcon(QStyle::SP_MessageBoxWarning);
        m_icons[3] = style->standardIcon(QStyle::SP_MessageBoxCritical);
    }
    QVariant data(const QModelIndex &index, int role) const override
    {
        if (role == Qt::DecorationRole && index.column() == station::EventTable::Level) {
            const int severity = QIdentityProxyModel::data(index, station::EventTable::kSeverityRole).toInt();
            return severity >= 0 && severity < 4 ? m_icons[severity] : QIcon();
        }
        return QIdentityProxyModel::data(index, role);
    }

private:
    QIcon m_icons[4];
};

} // namespace

frmEventLog::frmEventLog(const station::EventLog &log, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_log(log)
    , m_table(log.record(), this)
{
    setObjectName(QStringLiteral("frmEventLog"));
    setWindowTitle(QStringLiteral("Event log"));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(900, 420);

    auto *layout = new QVBoxLayout(this);
    auto *filters = new QHBoxLayout;
    filters->addWidget(new QLabel(QStringLiteral("Element:"), this));
    m_element = new QComboBox(this);
    m_element->setObjectName(QStringLiteral("cmbElement"));
    m_element->setMinimumContentsLength(24);
    filters->addWidget(m_element, 1);
    filters->addWidget(new QLabel(QStringLiteral("Severity:"), this));
    m_severity = new QComboBox(this);
    m_severity->setObjectName(QStringLiteral("cmbSeverity"));
    m_severity->addItem(QStringLiteral("All"), int(station::Severity::Debug));
    m_severity->addItem(QStringLiteral("Information and above"), int(station::Severity::Info));
    m_severity->addItem(QStringLiteral("Warnings and errors"), int(station::Severity::Warning));
    m_severity->addItem(QStringLiteral("Errors"), int(station::Severity::Error));
    filters->addWidget(m_severity);
    auto *copy = new QPushButton(QStringLiteral("Copy"), this);
    auto *save = new QPushButton(QStringLiteral("Save as…"), this);
    filters->addWidget(copy);
    filters->addWidget(save);
    layout->addLayout(filters);

    m_view = new QTableView(this);
    m_view->setObjectName(QStringLiteral("tblEvents"));
    m_view->setModel(new SeverityIcons(style(), this));
    static_cast<QIdentityProxyModel *>(m_view->model())->setSourceModel(&m_table);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setWordWrap(false);
    m_view->verticalHeader()->hide();
    m_view->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    m_view->horizontalHeader()->setStretchLastSection(true);
    m_view->setColumnWidth(station::EventTable::Time, 170);
    m_view->setColumnWidth(station::EventTable::Level, 90);
    m_view->setColumnWidth(station::EventTable::Element, 200);
    m_view->setColumnWidth(station::EventTable::Category, 130);
    layout->addWidget(m_view, 1);

    m_file = new QLabel(this);
    m_file->setObjectName(QStringLiteral("lblLogFile"));
    m_file->setTextInteractionFlags(Qt::TextSelectableByMouse);
    const QString path = log.filePath();
    m_file->setText(path.isEmpty() ? QStringLiteral("No log file is written.")
                                   : QStringLiteral("Log file: %1 (in %2)")
                                         .arg(QDir::toNativeSeparators(path),
                                              QDir::toNativeSeparators(QFileInfo(path).absolutePath())));
    layout->addWidget(m_file);

    auto *copyAction = new QAction(this);
    copyAction->setShortcut(QKeySequence::Copy);
    copyAction->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    m_view->addAction(copyAction);
    connect(copyAction, &QAction::triggered, this, &frmEventLog::copySelection);
    connect(copy, &QPushButton::clicked, this, &frmEventLog::copySelection);
    connect(save, &QPushButton::clicked, this, &frmEventLog::saveAs);

    fillElements();
    connect(&m_table, &station::EventTable::elementsChanged, this, &frmEventLog::fillElements);
    connect(m_element, &QComboBox::currentIndexChanged, this, [this](int index) {
        m_table.setElementFilter(index <= 0 ? QString() : m_element->itemText(index));
    });
    connect(m_severity, &QComboBox::currentIndexChanged, this, [this](int index) {
        m_table.setLowestSeverity(station::Severity(m_severity->itemData(index).toInt()));
    });
    // Newest last, and in view while the operator has not scrolled away from it.
    connect(&m_table, &QAbstractItemModel::rowsAboutToBeInserted, this, [this] {
        m_view->setProperty("atEnd", m_view->verticalScrollBar()->value() == m_view->verticalScrollBar()->maximum());
    });
    connect(&m_table, &QAbstractItemModel::rowsInserted, this, [this] {
        if (m_view->property("atEnd").toBool())
            m_view->scrollToBottom();
    });
    m_view->scrollToBottom();
    m_table.setLive(kRefreshMs);
}

void frmEventLog::fillElements()
{
    const QString current = m_element->currentIndex() > 0 ? m_element->currentText() : QString();
    const QSignalBlocker block(m_element);
    m_element->clear();
    m_element->addItem(QStringLiteral("All elements"));
    m_element->addItems(m_table.elements());
    const int index = current.isEmpty() ? 0 : m_element->findText(current);
    m_element->setCurrentIndex(qMax(0, index));
}

QString frmEventLog::selectedLines() const
{
    QList<int> rows;
    for (const QModelIndex &index : m_view->selectionModel()->selectedRows())
        rows << index.row();
    std::sort(rows.begin(), rows.end());
    return m_table.lines(rows);
}

void frmEventLog::copySelection() const
{
    const QString text = selectedLines();
    if (!text.isEmpty())
        QApplication::clipboard()->setText(text);
}

bool frmEventLog::saveTo(const QString &path) const
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return false;
    file.write(m_table.allLines().toUtf8());
    return file.commit();
}

void frmEventLog::saveAs()
{
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save as"),
                                                      QDir::home().filePath(QStringLiteral("events.txt")),
                                                      QStringLiteral("Text files (*.txt *.log);;All files (*)"));
    if (path.isEmpty())
        return;
    if (!saveTo(path))
        platform::showMessage(this, QStringLiteral("The events could not be saved to %1.").arg(path),
                              platform::MsgIcon::Critical);
}
