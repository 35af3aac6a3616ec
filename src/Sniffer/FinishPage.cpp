#include "Sniffer.h"

#include "FinishSettings.h"
#include "LogLine.h"
#include "ui_Options.h"
#include "ui_Settings.h"

#include <algorithm>

// The finished file's part of the window: the download page's subtitle
// choice and "Only a part" fields, and the settings behind them.

void Sniffer::initFinishSettings()
{
    const FinishChoices defaults = FinishSettings::defaults(settingsFile);
    settingsUi->inputSubtitleLanguages->setText(FinishSettings::languages(settingsFile));
    settingsUi->comboSubtitlesWhere->setCurrentIndex(defaults.subtitlesBeside ? 1 : 0);
    settingsUi->checkTags->setChecked(defaults.tags);
    settingsUi->checkChapters->setChecked(defaults.chapters);
    settingsUi->checkCover->setChecked(defaults.cover);
}

void Sniffer::storeFinishSettings()
{
    const auto yes = [](bool value) { return value ? QStringLiteral("true") : QStringLiteral("false"); };
    // Only codes are kept: the page preselects what it can match.
    settingsFile.store(QLatin1String(FinishSettings::languagesKey),
                       Finish::languageList(settingsUi->inputSubtitleLanguages->text()).join(QStringLiteral(", ")));
    settingsFile.store(QLatin1String(FinishSettings::besideKey), yes(settingsUi->comboSubtitlesWhere->currentIndex() == 1));
    settingsFile.store(QLatin1String(FinishSettings::tagsKey), yes(settingsUi->checkTags->isChecked()));
    settingsFile.store(QLatin1String(FinishSettings::chaptersKey), yes(settingsUi->checkChapters->isChecked()));
    settingsFile.store(QLatin1String(FinishSettings::coverKey), yes(settingsUi->checkCover->isChecked()));
    initFinishSettings();
}

void Sniffer::showSubtitleChoice()
{
    QListWidget *list = options->listSubtitles;
    list->clear();
    // A new address: the whole video unless asked otherwise.
    options->inputFrom->clear();
    options->inputTo->clear();
    const QStringList wanted = FinishSettings::defaults(settingsFile).subtitles;
    const QList<SubtitleInfo> &offered = downloader->info->subtitles;
    for (const SubtitleInfo &subtitle : offered) {
        auto *row = new QListWidgetItem(Finish::label(subtitle), list);
        row->setData(Qt::UserRole, subtitle.code);
        row->setToolTip(subtitle.code);
        row->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        // The page's own subtitles first: a caption only where none is there.
        const bool own = std::any_of(offered.cbegin(), offered.cend(), [&](const SubtitleInfo &other) {
            return !other.automatic && other.code == subtitle.code;
        });
        const bool chosen = wanted.contains(subtitle.code) && (!subtitle.automatic || !own);
        row->setCheckState(chosen ? Qt::Checked : Qt::Unchecked);
    }
    options->lblSubtitles->setVisible(!offered.isEmpty());
    list->setVisible(!offered.isEmpty());
    panelHeights[PageLayout::Options] = PageLayout::defaultPanelHeights().value(PageLayout::Options)
                                        + (offered.isEmpty() ? 0 : PageLayout::subtitleRowHeight);
}

std::optional<FinishChoices> Sniffer::finishChoices()
{
    FinishChoices choices = FinishSettings::defaults(settingsFile);
    choices.subtitles.clear();
    for (int i = 0; i < options->listSubtitles->count(); ++i) {
        const QListWidgetItem *row = options->listSubtitles->item(i);
        const QString code = row->data(Qt::UserRole).toString();
        if (row->checkState() == Qt::Checked && !choices.subtitles.contains(code))
            choices.subtitles << code;
    }
    const QString fromText = options->inputFrom->text().trimmed();
    const QString toText = options->inputTo->text().trimmed();
    if (fromText.isEmpty() && toText.isEmpty())
        return choices;
    // An empty From is the start, an empty To the end.
    const int duration = Finish::parseClock(downloader->info->duration).value_or(0);
    const std::optional<int> from = fromText.isEmpty() ? 0 : Finish::parseClock(fromText);
    const std::optional<int> to = toText.isEmpty() ? std::optional<int>(duration) : Finish::parseClock(toText);
    const QString problem = Finish::sectionProblem(from.value_or(-1), to.value_or(-1), duration > 0 ? duration : -1);
    if (!problem.isEmpty()) {
        reportError(ERROR_PLACE("finishChoices"), WindowError::BadSection, MessageKind::Error, problem);
        return std::nullopt;
    }
    choices.from = *from;
    choices.to = *to;
    LOG_DEBUG << "finishChoices" << ":" << "part" << ":" << choices.from << choices.to;
    return choices;
}
