#include "WindowAlertPresenter.h"

#include "Style.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

void WindowAlertPresenter::showCommonAlert(const QString &title, const QString &message, std::function<void()> onOk)
{
    auto *box = new QMessageBox(QMessageBox::Warning, title, message, QMessageBox::NoButton, QApplication::activeWindow());
    box->setObjectName(QStringLiteral("commonAlert"));
    QPushButton *ok = box->addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    ok->setObjectName(QStringLiteral("okButton"));
    ok->setStyleSheet(Style::orangeButton());
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::ApplicationModal);
    QObject::connect(box, &QMessageBox::buttonClicked, box, [onOk = std::move(onOk)](QAbstractButton *) {
        if (onOk)
            onOk();
    });
    box->show();
}
