#include "LogLine.h"
#include "NetworkSettings.h"
#include "Sniffer.h"
#include "ui_Settings.h"

// The network group of the settings page: a rate limit and a proxy for the
// tool's runs, the HTTP transfer and the manifest fetch alike.

using namespace NetworkSettings;

namespace {

// Said on the page while the address is being typed, not after it was dropped.
void showProxyNote(Ui::Settings *page)
{
    QString why;
    const bool address = page->comboProxy->currentData().toString() == QLatin1String("address");
    page->inputProxy->setEnabled(address);
    if (address)
        NetworkRoute::parseProxy(page->inputProxy->text(), &why);
    page->lblProxyNote->setText(why.isEmpty() ? QString() : QStringLiteral("Proxy not used: ") + why);
    page->lblProxyNote->setVisible(!why.isEmpty());
}

} // namespace

void Sniffer::initNetworkSettings()
{
    settingsUi->comboProxy->addItem(tr("System"), QStringLiteral("system"));
    settingsUi->comboProxy->addItem(tr("None"), QStringLiteral("none"));
    settingsUi->comboProxy->addItem(tr("Address"), QStringLiteral("address"));
    settingsUi->comboProxy->setCurrentIndex(qMax(0, settingsUi->comboProxy->findData(settingsFile.value(proxyKey()))));
    settingsUi->inputProxy->setText(settingsFile.value(addressKey()));
    settingsUi->spinRateLimit->setValue(settingsFile.value(rateKey()).toInt());
    connect(settingsUi->comboProxy, &QComboBox::currentIndexChanged, this, [this] { showProxyNote(settingsUi); });
    connect(settingsUi->inputProxy, &QLineEdit::textChanged, this, [this] { showProxyNote(settingsUi); });
    showProxyNote(settingsUi);
    applyNetworkSettings();
}

void Sniffer::storeNetworkSettings()
{
    settingsFile.store(rateKey(), QString::number(settingsUi->spinRateLimit->value()));
    settingsFile.store(proxyKey(), settingsUi->comboProxy->currentData().toString());
    settingsFile.store(addressKey(), settingsUi->inputProxy->text().trimmed());
    applyNetworkSettings();
}

void Sniffer::applyNetworkSettings()
{
    QString problem;
    const NetworkRoute chosen = NetworkSettings::route(settingsFile, &problem);
    if (!problem.isEmpty())
        LOG_ERROR << "applyNetworkSettings" << ":" << "proxy address not used" << ":" << problem;
    LOG_DEBUG << "applyNetworkSettings" << ":" << "proxy" << ":" << chosen.shownProxy() << ":" << "rate limit"
              << chosen.bytesPerSecond;
    NetworkRoute::setCurrent(chosen);
}
