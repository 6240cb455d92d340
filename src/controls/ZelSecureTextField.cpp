#include "ZelSecureTextField.h"

#include "texts/LocalizedText.h"

#include <QIcon>
#include <QResizeEvent>
#include <QToolButton>
#include <cmath>

ZelSecureTextField::ZelSecureTextField(QWidget *parent)
    : QLineEdit(parent)
    , m_toggle(new QToolButton(this))
{
    m_toggle->setObjectName(QStringLiteral("toggleButton"));
    m_toggle->setCheckable(true);
    m_toggle->setAutoRaise(true);
    m_toggle->setCursor(Qt::PointingHandCursor);
    m_toggle->setFocusPolicy(Qt::NoFocus);
    m_toggle->setStyleSheet(QStringLiteral("QToolButton { border: none; background: transparent; }"));
    m_toggle->setToolTip(localizedText(QStringLiteral("Toggle password visibility")));
    connect(m_toggle, &QToolButton::toggled, this, &ZelSecureTextField::visibilityChanged);
    setDragEnabled(false);
    updateCell();
}

void ZelSecureTextField::wipe()
{
    // setText, unlike clear(), starts a new history.
    setText(QString());
}

void ZelSecureTextField::forgetHistory()
{
    // Asking isUndoAvailable() would not do: a hidden field reports none while it keeps them.
    const int cursor = cursorPosition();
    setText(text());
    setCursorPosition(cursor);
}

QVariant ZelSecureTextField::inputMethodQuery(Qt::InputMethodQuery query) const
{
    if (isHidingText()) {
        switch (query) {
        case Qt::ImSurroundingText:
        case Qt::ImCurrentSelection:
        case Qt::ImTextBeforeCursor:
        case Qt::ImTextAfterCursor:
            return QString();
        default:
            break;
        }
    }
    return QLineEdit::inputMethodQuery(query);
}

void ZelSecureTextField::setDisplayToggleButton(bool display)
{
    m_displayToggleButton = display;
    updateCell();
}

void ZelSecureTextField::setAllowShowPassword(bool allow)
{
    m_allowShowPassword = allow;
    m_passwordIsVisible = false;
    updateCell();
}

void ZelSecureTextField::setPasswordIsVisible(bool visible)
{
    m_passwordIsVisible = visible;
    updateCell();
}

void ZelSecureTextField::visibilityChanged(bool on)
{
    // The eye's action reveals only what the eye is offered for: a field whose button is hidden
    // (no button, or showing not allowed) stays as its owner set it.
    if (!m_displayToggleButton || !m_allowShowPassword) {
        updateCell();
        return;
    }
    if (on != m_passwordIsVisible)
        setPasswordIsVisible(on);
}

void ZelSecureTextField::updateCell()
{
    // Without permission to show, the text stays hidden whatever passwordIsVisible says.
    const bool clear = m_passwordIsVisible && (!m_displayToggleButton || m_allowShowPassword);
    const QLineEdit::EchoMode mode = clear ? QLineEdit::Normal : QLineEdit::Password;
    if (mode != echoMode()) {
        setEchoMode(mode);
        // Steps recorded on one side of the switch must not be replayed on the other.
        forgetHistory();
    }
    const bool button = m_displayToggleButton && m_allowShowPassword;
    m_toggle->setVisible(button);
    m_toggle->setEnabled(button);
    {
        const QSignalBlocker quiet(m_toggle);
        m_toggle->setChecked(clear);
    }
    m_toggle->setIcon(QIcon(clear ? QStringLiteral(":/icons/eye-off.svg") : QStringLiteral(":/icons/eye.svg")));
    placeToggle();
}

void ZelSecureTextField::resizeEvent(QResizeEvent *event)
{
    QLineEdit::resizeEvent(event);
    placeToggle();
}

void ZelSecureTextField::placeToggle()
{
    // The text stops 1.25 heights short of the right edge, where the button sits.
    const int room = m_displayToggleButton ? int(std::lround(1.25 * height())) : 0;
    setTextMargins(0, 0, room, 0);
    const int side = qMax(0, height() - 8);
    m_toggle->setIconSize(QSize(side * 2 / 3, side * 2 / 3));
    m_toggle->setGeometry(width() - room + (room - side) / 2, (height() - side) / 2, side, side);
}
