#include "AccountWidgets.h"

#include "BuildConfig.h"
#include "platform/PreferencesKeys.h"
#include "platform/PreferencesStore.h"
#include "texts/LocalizedText.h"
#include "CommmonFunction.h"
#include "Style.h"

#include <QDesktopServices>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QUrl>

namespace AccountWidgets {
namespace {
const char *const textColour = "#1f2933";
const char *const mutedColour = "#6b7280";

template <class W> W *named(W *widget, const QString &name)
{
    widget->setObjectName(name);
    return widget;
}
} // namespace

QLabel *titleLabel(QWidget *parent, const QString &name)
{
    auto *label = named(new QLabel(parent), name);
    QFont font = label->font();
    font.setPixelSize(18);
    font.setWeight(QFont::DemiBold);
    label->setFont(font);
    label->setStyleSheet(QStringLiteral("color: %1;").arg(QLatin1String(textColour)));
    return label;
}

QLabel *captionLabel(QWidget *parent, const QString &name)
{
    auto *label = named(new QLabel(parent), name);
    label->setWordWrap(true);
    label->setStyleSheet(QStringLiteral("color: %1; font-size: 13px;").arg(QLatin1String(mutedColour)));
    return label;
}

QLabel *fieldLabel(QWidget *parent, const QString &name)
{
    auto *label = named(new QLabel(parent), name);
    label->setStyleSheet(
        QStringLiteral("color: %1; font-size: 12px; font-weight: 600;").arg(QLatin1String(textColour)));
    return label;
}

QLineEdit *textField(QWidget *parent, const QString &name, bool secure)
{
    auto *field = named(new QLineEdit(parent), name);
    if (secure)
        field->setEchoMode(QLineEdit::Password);
    field->setMinimumHeight(36);
    field->setStyleSheet(QStringLiteral("QLineEdit { border: 1px solid #d5d9de; border-radius: 6px; padding: 0 10px;"
                                        " background: white; color: %1; font-size: 13px; }"
                                        "QLineEdit:focus { border-color: %2; }"
                                        "QLineEdit:read-only { background: #f4f5f7; color: %3; }")
                             .arg(QLatin1String(textColour), Style::commonOrange.name(), QLatin1String(mutedColour)));
    return field;
}

QPushButton *primaryButton(QWidget *parent, const QString &name)
{
    auto *button = named(new QPushButton(parent), name);
    button->setMinimumHeight(32);
    button->setCursor(Qt::PointingHandCursor);
    // A disabled button waits for the server: it fades instead of looking pressable.
    button->setStyleSheet(
        Style::orangeButton() +
        QStringLiteral("QPushButton:disabled { background-color: %1; }").arg(Style::commonOrange.lighter(150).name()));
    return button;
}

QPushButton *secondaryButton(QWidget *parent, const QString &name)
{
    auto *button = named(new QPushButton(parent), name);
    button->setMinimumHeight(32);
    button->setAutoDefault(false);
    button->setCursor(Qt::PointingHandCursor);
    button->setStyleSheet(QStringLiteral("QPushButton { background: white; color: %1; border: 1px solid #d5d9de;"
                                         " border-radius: 5px; padding: 5px 22px; font-weight: 600; }"
                                         "QPushButton:pressed { background: #eef0f2; }"
                                         "QPushButton:disabled { color: #aab0b7; }")
                              .arg(QLatin1String(textColour)));
    return button;
}

QPushButton *switchButton(QWidget *parent, const QString &name)
{
    auto *button = named(new QPushButton(parent), name);
    button->setAutoDefault(false);
    button->setFlat(true);
    button->setCursor(Qt::PointingHandCursor);
    button->setStyleSheet(QStringLiteral("QPushButton { border: none; background: transparent; padding: 0;"
                                         " color: %1; font-size: 13px; font-weight: 600; }")
                              .arg(Style::commonOrange.name()));
    return button;
}

QPushButton *linkButton(QWidget *parent, const QString &name)
{
    auto *button = named(new QPushButton(parent), name);
    button->setAutoDefault(false);
    button->setFlat(true);
    button->setCursor(Qt::PointingHandCursor);
    QFont font = button->font();
    font.setUnderline(true);
    button->setFont(font);
    button->setStyleSheet(QStringLiteral("QPushButton { border: none; background: transparent; padding: 0;"
                                         " color: %1; font-size: 12px; }")
                              .arg(QLatin1String(mutedColour)));
    return button;
}

QPushButton *socialButton(QWidget *parent, const QString &name)
{
    auto *button = secondaryButton(parent, name);
    button->setMinimumHeight(36);
    button->setStyleSheet(button->styleSheet() +
                          QStringLiteral("QPushButton { font-weight: 500; padding: 5px 12px; }"));
    return button;
}

QHBoxLayout *separatorRow(QWidget *parent, QLabel *label)
{
    const auto line = [parent] {
        auto *frame = new QFrame(parent);
        frame->setFixedHeight(1);
        frame->setStyleSheet(QStringLiteral("background: #e3e6ea;"));
        return frame;
    };
    label->setStyleSheet(
        QStringLiteral("color: %1; font-size: 11px; font-weight: 600;").arg(QLatin1String(mutedColour)));
    auto *row = new QHBoxLayout;
    row->setSpacing(10);
    row->addWidget(line(), 1);
    row->addWidget(label);
    row->addWidget(line(), 1);
    return row;
}

QHBoxLayout *buttonRow(QPushButton *cancel, QPushButton *send)
{
    auto *row = new QHBoxLayout;
    row->setSpacing(10);
    row->addStretch();
    row->addWidget(cancel);
    row->addWidget(send);
    return row;
}

QWidget *legalLinksRow(QWidget *parent, const QString &name, QPushButton *terms, QPushButton *privacy)
{
    auto *row = new QWidget(parent);
    row->setObjectName(name);
    auto *dot = new QLabel(QStringLiteral("·"), row);
    dot->setStyleSheet(QStringLiteral("color: #9aa1a9;"));
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    layout->addStretch();
    layout->addWidget(terms);
    layout->addWidget(dot);
    layout->addWidget(privacy);
    layout->addStretch();
    return row;
}

QProgressBar *loader(QWidget *parent)
{
    auto *bar = named(new QProgressBar(parent), QStringLiteral("loader"));
    bar->setRange(0, 0);
    bar->setTextVisible(false);
    bar->setFixedHeight(4);
    bar->hide();
    return bar;
}

void styleSheetPage(QWidget *page)
{
    page->setAutoFillBackground(true);
    QPalette pal = page->palette();
    pal.setColor(QPalette::Window, Qt::white);
    page->setPalette(pal);
}

QString linkLanguage()
{
    const std::optional<QString> stored = PreferencesStore::shared().stringForKey(PrefKey::CurrentLanguage);
    return stored ? *stored : systemLanguageCode();
}

// A new window at each click, belonging to the main window rather than to the sheet.
static void openPageWindow(const QString &name)
{
    if (QDialog *window = CommmonFunction::shared().makeWindow(name)) {
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->show();
        window->raise();
    }
}

void openTerms()
{
    openPageWindow(QStringLiteral("TermsWC"));
}

void openPrivacy()
{
    openPageWindow(QStringLiteral("PrivacyWC"));
}

} // namespace AccountWidgets
