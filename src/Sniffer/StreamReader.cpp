#include "StreamReader.h"

#include "LogLine.h"
#include "ManifestFetch.h"
#include "StreamSorter.h"

#include <QNetworkAccessManager>

StreamReader::StreamReader(streams::StreamSorter *sorter, QObject *parent)
    : QObject(parent), m_sorter(sorter), m_network(new QNetworkAccessManager(this))
{
}

void StreamReader::fetch(const QUrl &address, const QByteArray &requestHeader,
                         std::function<void(const QByteArray &, const QUrl &)> then, int number, const QUrl &headersFor)
{
    auto *fetch = new ManifestFetch(m_network, this);
    connect(fetch, &ManifestFetch::done, this, [this, fetch, then, number](const ManifestFetch::Result &result) {
        fetch->deleteLater();
        if (!result.ok) {
            emit streamFailed(number, result.error);
            return;
        }
        then(result.body, result.address);
    });
    fetch->fetch(address, requestHeader, streams::MaxManifestBytes, 15000, headersFor);
}

void StreamReader::read(int number, const QUrl &address, const QByteArray &requestHeader)
{
    fetch(address, requestHeader, [this, number, address, requestHeader](const QByteArray &body, const QUrl &from) {
        const streams::ManifestResult top = streams::parseManifest(body, from);
        if (!top.ok()) {
            LOG_WARNING << "StreamReader" << ":" << "not read" << ":" << top.detail;
            emit streamFailed(number, top.detail);
            return;
        }
        const streams::Variant *best = streams::bestVariant(*top.info);
        if (!top.info->master || !best || best->address.isEmpty()) {
            m_sorter->learn(address, *top.info);
            emit streamRead(number, *top.info);
            return;
        }
        const streams::StreamInfo master = *top.info;
        // The master names the variants at once; the length waits for one.
        m_sorter->learn(address, master);
        fetch(best->address, requestHeader, [this, number, address, master](const QByteArray &text, const QUrl &at) {
            const streams::ManifestResult both = streams::combineLevels(master, streams::parseManifest(text, at));
            const streams::StreamInfo info = both.ok() ? *both.info : master;
            m_sorter->learn(address, info);
            emit streamRead(number, info);
        }, number, address);
    }, number);
}
