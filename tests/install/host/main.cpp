// A host that calls only foundation code. Linked against the kit as documented, it must
// still get the kit's English texts: linking the kit is what registers them.
#include <foundation/ZEM_F_E_Language.h>
#include <foundation/ZEM_F_HostDelegate.h>

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    ZEM_F_SettingsHostDelegate host(QStringLiteral("InstallHost"));
    ZEM_F_Host::setDelegate(&host);
    const QString text = ZEM_F_E_Language::shared()->stringForKey(QStringLiteral("A:Delete"));
    std::printf("A:Delete is \"%s\"\n", qPrintable(text));
    ZEM_F_Host::setDelegate(nullptr);
    return text == QLatin1String("Delete Alert:") ? 0 : 1;
}
