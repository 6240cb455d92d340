// Writes the preferences file over and over until killed; the atomicity test kills it.
#include "platform/PreferencesStore.h"

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc < 2)
        return 2;
    PreferencesStore store(QString::fromLocal8Bit(argv[1]));
    for (qint64 i = 1;; ++i) {
        // A large value makes a torn write likely if the file were written in place.
        store.setString(u"payload", QString(200000, QChar(u'a' + int(i % 26))));
        store.setInteger(u"counter", i);
        if (i == 1) {
            std::puts("ready");
            std::fflush(stdout);
        }
    }
}
