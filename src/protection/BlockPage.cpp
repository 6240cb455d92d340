#include "BlockPage.h"

#include "texts/LocalizedText.h"
#include "ui/Style.h"

#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

BlockPage::BlockPage(QWidget *parent)
    : QDialog(parent, Qt::Window | Qt::WindowStaysOnTopHint)
    , m_lblTitle(new QLabel(this))
    , m_lblApplication(new QLabel(this))
    , m_lblGrace(new QLabel(this))
    , m_btnClose(new QPushButton(this))
{
    setObjectName(QStringLiteral("BlockPage"));
    setAttribute(Qt::WA_DeleteOnClose);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);

    m_lblTitle->setObjectName(QStringLiteral("m_lblTitle"));
    m_lblApplication->setObjectName(QStringLiteral("m_lblApplication"));
    m_lblGrace->setObjectName(QStringLiteral("m_lblGrace"));
    m_btnClose->setObjectName(QStringLiteral("m_btnClose"));
    auto *logo = new QLabel(this);
    logo->setPixmap(QIcon(QStringLiteral(":/icons/nimbrel-logo.svg")).pixmap(72, 72));
    m_lblTitle->setStyleSheet(QStringLiteral("font-size: 28px; font-weight: 700; color: #1f2933;"));
    m_lblApplication->setStyleSheet(QStringLiteral("font-size: 17px; color: #52606d;"));
    m_lblGrace->setStyleSheet(QStringLiteral("font-size: 14px; color: #7b8794;"));
    m_lblGrace->hide();
    m_btnClose->setStyleSheet(Style::orangeButton());
    m_btnClose->setMinimumSize(140, 36);
    m_btnClose->setText(localizedText(QStringLiteral("Close")));
    m_lblTitle->setText(localizedText(QStringLiteral("This application is blocked")));
    connect(m_btnClose, &QPushButton::clicked, this, &QDialog::close);

    auto *layout = new QVBoxLayout(this);
    layout->addStretch();
    for (QWidget *part : {static_cast<QWidget *>(logo), static_cast<QWidget *>(m_lblTitle),
                          static_cast<QWidget *>(m_lblApplication), static_cast<QWidget *>(m_lblGrace),
                          static_cast<QWidget *>(m_btnClose)})
        layout->addWidget(part, 0, Qt::AlignHCenter);
    layout->setSpacing(18);
    layout->addStretch();
}

void BlockPage::setApplication(const QString &name, int graceSeconds)
{
    m_lblApplication->setText(name);
    // Time to save its work before it is ended.
    m_lblGrace->setText(localizedText(QStringLiteral("closes in %1 s")).arg(graceSeconds));
    m_lblGrace->setVisible(graceSeconds > 0);
}
