#pragma once

#include <QString>
#include <QTemporaryDir>
#include <QApplication>
#include <QtTest>

#include <memory>
#include <utility>

class ZEM_F_E_Language;

/**
 * A private HOME and XDG folders for one test process, set before the application object
 * exists so QStandardPaths and QSettings never see the real user's files. The default time
 * zone is pinned unless the test pins its own.
 */
class ZemTestEnv
{
public:
    /** \a timeZone: an IANA name for TZ ("Europe/Berlin" unless the test asks otherwise). */
    explicit ZemTestEnv(const char *timeZone = "Europe/Berlin");
    ~ZemTestEnv();

    QString home() const;
    QString dataHome() const;
    QString configHome() const;

    static ZemTestEnv *current();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

/**
 * Set-up of the tests that switch languages: a settings host delegate for "Organiser" becomes
 * the kit's host (until the application object goes), \a french (key, text) is written as the
 * French language file of the private data home, and the shared language engine is returned.
 * Null when the English texts are not registered or the file cannot be written.
 */
ZEM_F_E_Language *zemFrenchLanguage(std::initializer_list<std::pair<const char *, const char *>> french);

namespace zemtest {
/** Shows \a window and waits until it is on the screen; false when it never gets there. */
[[nodiscard]] inline bool showExposed(QWidget &window)
{
    window.show();
    return QTest::qWaitForWindowExposed(&window);
}
} // namespace zemtest

/** QTEST_MAIN with ZemTestEnv set up first. */
#define ZEM_TEST_MAIN_TZ(TestObject, TimeZone)                                                   \
    int main(int argc, char **argv)                                                              \
    {                                                                                            \
        ZemTestEnv zemEnv(TimeZone);                                                             \
        QApplication app(argc, argv);                                                            \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                 \
        TestObject tc;                                                                           \
        QTEST_SET_MAIN_SOURCE_PATH                                                               \
        return QTest::qExec(&tc, argc, argv);                                                    \
    }

#define ZEM_TEST_MAIN(TestObject) ZEM_TEST_MAIN_TZ(TestObject, "Europe/Berlin")
