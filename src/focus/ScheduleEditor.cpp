#include "ScheduleEditor.h"

#include "FocusParts.h"
#include "api/CommonWS.h"
#include "texts/LocalizedText.h"
#include "ui/Style.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QLocale>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTimeEdit>
#include <QTimeZone>
#include <QVBoxLayout>

namespace {
QTimeEdit *timeEdit(const QString &name, const QString &value, QWidget *parent)
{
    auto *edit = new QTimeEdit(parent);
    edit->setObjectName(name);
    edit->setDisplayFormat(QStringLiteral("HH:mm"));
    const QTime time = QTime::fromString(value, QStringLiteral("HH:mm"));
    edit->setTime(time.isValid() ? time : QTime(0, 0));
    return edit;
}
} // namespace

ScheduleEditor::ScheduleEditor(const ScheduleModel &window, const CategoryList &categories, QWidget *parent)
    : SheetDialog(parent)
    , m_id(window.id)
{
    setObjectName(QStringLiteral("ScheduleEditor"));
    setAttribute(Qt::WA_DeleteOnClose);
    auto *layout = new QVBoxLayout(panel());
    layout->setContentsMargins(24, 20, 24, 18);
    layout->setSpacing(8);

    auto *title = new QLabel(window.id ? localizedText(QStringLiteral("Change weekly window"))
                                       : localizedText(QStringLiteral("New weekly window")),
                             panel());
    title->setObjectName(QStringLiteral("title"));
    title->setStyleSheet(QStringLiteral("font-size: 16px; font-weight: 600;"));
    layout->addWidget(title);

    auto *form = new QFormLayout;
    form->setLabelAlignment(Qt::AlignLeft);
    m_nameEdit = new QLineEdit(window.name, panel());
    m_nameEdit->setObjectName(QStringLiteral("m_nameEdit"));
    m_nameEdit->setMaxLength(60);
    m_nameEdit->setPlaceholderText(localizedText(QStringLiteral("Work hours")));
    form->addRow(localizedText(QStringLiteral("Name")), m_nameEdit);

    auto *days = new QHBoxLayout;
    days->setSpacing(6);
    const QLocale locale(interfaceLanguage() == QLatin1String("fr") ? QLocale::French : QLocale::English);
    for (int day = 1; day <= 7; ++day) {
        auto *box = new QCheckBox(locale.dayName(day, QLocale::ShortFormat), panel());
        box->setObjectName(QStringLiteral("m_day%1").arg(day));
        box->setChecked(window.days.contains(day));
        m_dayBoxes << box;
        days->addWidget(box);
    }
    form->addRow(localizedText(QStringLiteral("Days")), days);

    auto *times = new QHBoxLayout;
    m_startTime = timeEdit(QStringLiteral("m_startTime"), window.start, panel());
    m_endTime = timeEdit(QStringLiteral("m_endTime"), window.end, panel());
    times->addWidget(m_startTime);
    times->addWidget(new QLabel(QStringLiteral("–"), panel()));
    times->addWidget(m_endTime);
    times->addStretch();
    form->addRow(localizedText(QStringLiteral("From")), times);

    m_sitesEdit = new QLineEdit(window.websites.join(QStringLiteral(", ")), panel());
    m_sitesEdit->setObjectName(QStringLiteral("m_sitesEdit"));
    m_sitesEdit->setPlaceholderText(QStringLiteral("news.example.com, video.example.org"));
    form->addRow(localizedText(QStringLiteral("Sites")), m_sitesEdit);
    layout->addLayout(form);

    auto *categoriesLabel = new QLabel(localizedText(QStringLiteral("Categories")), panel());
    layout->addWidget(categoriesLabel);
    m_categoriesModel = new QStandardItemModel(this);
    FocusParts::fillCategories(m_categoriesModel, categories, window.categories);
    m_categoriesView = FocusParts::categoryPicker(QStringLiteral("m_categoriesView"), m_categoriesModel, panel());
    layout->addWidget(m_categoriesView);

    m_locksBox = new QCheckBox(localizedText(QStringLiteral("Lock like a focus session while open")), panel());
    m_locksBox->setObjectName(QStringLiteral("m_locksBox"));
    m_locksBox->setChecked(window.locks);
    layout->addWidget(m_locksBox);
    auto *zone = new QLabel(localizedText(QStringLiteral("Times are in this computer's time zone (%1)."))
                                .arg(QString::fromUtf8(QTimeZone::systemTimeZoneId())),
                            panel());
    zone->setObjectName(QStringLiteral("zone"));
    zone->setStyleSheet(QStringLiteral("color: #52606d;"));
    layout->addWidget(zone);

    m_busy = FocusParts::busyBar(QStringLiteral("m_busy"), panel());
    layout->addWidget(m_busy);
    m_errorLine = FocusParts::errorLine(QStringLiteral("m_errorLine"), panel());
    layout->addWidget(m_errorLine);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    m_cancelButton = new QPushButton(localizedText(QStringLiteral("Cancel")), panel());
    m_cancelButton->setObjectName(QStringLiteral("m_cancelButton"));
    m_saveButton = new QPushButton(localizedText(QStringLiteral("Save")), panel());
    m_saveButton->setObjectName(QStringLiteral("m_saveButton"));
    m_saveButton->setStyleSheet(Style::orangeButton());
    m_saveButton->setDefault(true);
    buttons->addWidget(m_cancelButton);
    buttons->addWidget(m_saveButton);
    layout->addLayout(buttons);
    fitPanelToWidth(500);

    connect(m_cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_saveButton, &QPushButton::clicked, this, &ScheduleEditor::save);
}

ScheduleModel ScheduleEditor::window() const
{
    ScheduleModel window;
    window.id = m_id;
    window.name = m_nameEdit->text().trimmed();
    for (int day = 1; day <= 7; ++day) {
        if (m_dayBoxes.at(day - 1)->isChecked())
            window.days << day;
    }
    window.start = m_startTime->time().toString(QStringLiteral("HH:mm"));
    window.end = m_endTime->time().toString(QStringLiteral("HH:mm"));
    window.timeZone = QString::fromUtf8(QTimeZone::systemTimeZoneId());
    window.websites = FocusParts::sitesFrom(m_sitesEdit->text());
    window.categories = FocusParts::checkedCategories(m_categoriesModel);
    window.locks = m_locksBox->isChecked();
    return window;
}

void ScheduleEditor::save()
{
    if (m_busy->isVisible())
        return;
    const ScheduleModel chosen = window();
    QString problem;
    if (chosen.name.isEmpty())
        problem = localizedText(QStringLiteral("Give the window a name."));
    else if (chosen.days.isEmpty())
        problem = localizedText(QStringLiteral("Choose at least one day."));
    else if (chosen.start == chosen.end)
        problem = localizedText(QStringLiteral("The window must end at another time than it starts."));
    if (!problem.isEmpty()) {
        m_errorLine->setText(problem);
        m_errorLine->show();
        return;
    }
    m_errorLine->hide();
    m_busy->show();
    m_saveButton->setEnabled(false);
    QPointer<ScheduleEditor> self(this);
    const auto done = [self](const QString &refusal) {
        if (!self)
            return;
        self->m_busy->hide();
        self->m_saveButton->setEnabled(true);
        if (refusal.isEmpty()) {
            self->accept();
            return;
        }
        self->m_errorLine->setText(refusal.simplified());
        self->m_errorLine->show();
    };
    CommonWS::shared().saveSchedule(
        chosen,
        [done](const BaseModel<FocusStatusModel> &record, bool ok) {
            if (!ok)
                done(localizedText(QStringLiteral("The server's answer could not be read.")));
            else if (!record.status)
                done(serverText(record.msg).isEmpty() ? localizedText(QStringLiteral("The server refused the window."))
                                                      : serverText(record.msg));
            else
                done({});
        },
        [done] { done(localizedText(QStringLiteral("The server did not answer. Please try again."))); });
}
