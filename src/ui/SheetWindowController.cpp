#include "SheetWindowController.h"

#include <QPushButton>
#include <QVBoxLayout>

SheetWindowController::SheetWindowController(QWidget *content, int width, QWidget *parent)
    : SheetDialog(parent)
    , m_content(content)
{
    // The panel paints the sheet's white; a content painting its own would square off the
    // panel's rounded corners.
    content->setAutoFillBackground(false);
    auto *layout = new QVBoxLayout(panel());
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(content);
    // Fixed like the other windows of the app; the height follows the form.
    fitPanelToWidth(width);
}

void SheetWindowController::reject()
{
    auto *cancel = m_content->findChild<QPushButton *>(QStringLiteral("btnCancel"));
    if (cancel && cancel->isVisible() && cancel->isEnabled())
        cancel->click();
    else
        SheetDialog::reject();
}
