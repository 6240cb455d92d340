#include "SheetWindowController.h"

#include <QVBoxLayout>

SheetWindowController::SheetWindowController(QWidget *content, int width, QWidget *parent)
    : QDialog(parent)
    , m_content(content)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(content);
    // Fixed like the other windows of the app; the height follows the form.
    setFixedWidth(width);
    setFixedHeight(heightForWidth(width) > 0 ? heightForWidth(width) : sizeHint().height());
}
