#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The categories every new database starts with. Ids are fixed so that they mean the same on
// every server sharing a list; the domains are a small starting list for the filtering DNS.
struct SeedCategory {
    qint64 id;
    QString alias;
    QString nameEn;
    QString nameFr;
    QStringList domains;
};

const QList<SeedCategory> &seedCategories();
