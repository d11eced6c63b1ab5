// The organiser example: a small host of the kit. For now a console program that installs
// its host delegate and sample data, then shows what the kit gives it in each language:
// message texts, relative dates and check marks, and a record's change notices.

#include "ConsoleAlerts.h"
#include "OrganiserCalendar.h"
#include "OrganiserContacts.h"
#include "OrganiserHost.h"
#include "OrganiserListing.h"
#include "OrganiserMail.h"
#include "OrganiserTask.h"
#include "OrganiserTasksWindow.h"

#include <services/foundation.h>
#include <records/ZEM_A_C_ManagedObject.h>
#include <records/ZEM_A_E_ManagedObject.h>
#include <platform/store/StoreContext.h>
#include <records/ZEM_A_C_ManagedObjectContoller.h>
#include <platform/addressbook/AddressBook.h>
#include <platform/calendarstore/CalendarStore.h>

#include <QApplication>
#include <QCommandLineParser>
#include <QDateTime>
#include <QTextStream>

namespace {

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

void showTexts()
{
    ZEM_F_E_Language *language = ZEM_F_E_Language::shared();
    const QStringList keys = {
        QStringLiteral("A:Delete"),     QStringLiteral("M02:Deleting"),
        QStringLiteral("A:Email"),      QStringLiteral("M01:Emails"),
        QStringLiteral("B:QuitAnyway"), QStringLiteral("M:QuitAnyways"),
        QStringLiteral("B:Hide"),       QStringLiteral("L:Print"),
    };
    for (const QString &key : keys)
        out() << "  " << key.leftJustified(20) << language->stringForKey(key) << '\n';
    for (const QString &key : {QStringLiteral("NL:Show"), QStringLiteral("NL:Ok"),
                               QStringLiteral("NT:Open Help Viewer")})
        out() << "  " << key.leftJustified(20) << language->stringForKeyLook(key) << '\n';

    // Alert texts are filled by the caller: the verb comes from another key.
    const QString prompt = language->stringForKey(QStringLiteral("M02:AddressBook"))
                               .replace(QStringLiteral("%@"),
                                        language->stringForKey(QStringLiteral("L02:AddressPicker")));
    out() << "  " << QStringLiteral("M02:AddressBook").leftJustified(20) << prompt << '\n';
}

void showDates()
{
    ZEM_A_E_ManagedObject *engine = ZEM_A_E_ManagedObject::shared();
    const QDateTime now = QDateTime::currentDateTime();
    const struct
    {
        const char *label;
        QDateTime date;
    } dates[] = {
        {"yesterday", now.addDays(-1)},
        {"now", now},
        {"tomorrow", now.addDays(1)},
        {"in 2 days", now.addDays(2)},
        {"last year", now.addYears(-1)},
    };
    for (const auto &d : dates) {
        const QColor colour = engine->todayOverDueDateColor(d.date);
        out() << "  " << QString::fromLatin1(d.label).leftJustified(10)
              << engine->convertedDateString(d.date).leftJustified(14) << colour.name()
              << (engine->overDueDate(d.date) ? "  over due" : "") << '\n';
    }
    out() << "  done: [" << engine->getCheckMark(true) << "]  open: ["
          << engine->getCheckMark(false) << "]  none: [" << engine->getCheckMark(QVariant())
          << "]\n";
}

void showTask(OrganiserTask *task)
{
    out() << "  task: " << task->valueForKey(QStringLiteral("title")).toString() << " | "
          << task->valueForKey(QStringLiteral("notesString")).toString() << " | due "
          << task->valueForKey(QStringLiteral("dueDateString")).toString() << " | done ["
          << task->valueForKey(QStringLiteral("doneMark")).toString() << "]\n";
}

// A record in a store context: bulk assignment, dependent-key notices and undo.
void showRecords(platform::StoreContext &context, OrganiserTask *task)
{
    QStringList heard;
    task->addObserver(QStringLiteral("notesString"), &context,
                      [&](const platform::ChangeNotice &n) { heard << n.key; });
    task->setCDRecordValuesFromDict(ZEM_A_C_ManagedObject::KeyPathValues{
        {QStringLiteral("title"), QStringLiteral("Buy stamps")},
        {QStringLiteral("notes"), QStringLiteral("Post office\nbefore noon")},
        {QStringLiteral("dueDate"), QDateTime::currentDateTime().addDays(1)},
        {QStringLiteral("done"), false}});
    context.processPendingChanges();
    showTask(task);
    out() << "  notesString observers heard " << heard.size() << " change(s) of the notes\n";

    task->setValueForKeyPath(true, QStringLiteral("done"));
    context.processPendingChanges();
    showTask(task);
    context.undo();
    out() << "  after undo:\n";
    showTask(task);
    task->removeObserver(&context);
}

// The organiser's own store: sample tasks saved on the first run, searched and sorted on
// every run, and saved again when the organiser quits.
bool showStore(const QString &windowPicture)
{
    ZEM_A_C_ManagedObjectContoller tasks(QStringLiteral("Organiser"), QStringLiteral("Organiser"),
                                         QStringLiteral("OrganiserData"));
    tasks.setReadOnly(false);
    platform::StoreContext *context = tasks.managedObjectContext();
    if (tasks.storeError()) {
        out() << "Could not open the task store: " << tasks.storeError()->message << '\n';
        return false;
    }
    out() << "Task store: " << tasks.getStorageURL().toLocalFile() << '\n';
    auto all = context->fetch(QStringLiteral("Task"), QString());
    if (all && all->isEmpty()) {
        const QDateTime now = QDateTime::currentDateTime();
        const struct
        {
            const char *title;
            const char *notes;
            int days;
        } samples[] = {{"Buy stamps", "Post office", 1},
                       {"Call the dentist", "Before Friday", 0},
                       {"Book train tickets", "Window seat", 6},
                       {"Return library books", "Two are overdue", -2}};
        for (const auto &s : samples) {
            auto *task = context->insertNewObject(QStringLiteral("Task"));
            task->setValueForKey(QString::fromLatin1(s.title), QStringLiteral("title"));
            task->setValueForKey(QString::fromLatin1(s.notes), QStringLiteral("notes"));
            task->setValueForKey(now.addDays(s.days), QStringLiteral("dueDate"));
        }
        if (!tasks.saveAction())
            return false;
        out() << "Saved " << std::size(samples) << " sample tasks\n";
    }
    const auto byDate = context->fetch(QStringLiteral("Task"), QString(), {},
                                       {platform::SortDescriptor{QStringLiteral("dueDate")}});
    if (!byDate) {
        out() << "Could not read the tasks: " << byDate.error().message << '\n';
        return false;
    }
    for (platform::PersistentObject *record : *byDate)
        if (auto *task = qobject_cast<OrganiserTask *>(record))
            showTask(task);
    const auto matching = context->fetch(QStringLiteral("Task"), QStringLiteral("title CONTAINS[cd] %@ OR notes CONTAINS[c] %@"),
                                         {QStringLiteral("BOOK"), QStringLiteral("post")});
    out() << "  tasks about books or the post: " << (matching ? matching->size() : 0) << '\n';
    if (!showTasksWindow(out(), tasks, windowPicture))
        return false;
    return tasks.applicationShouldTerminate() == platform::TerminateReply::Now;
}

} // namespace

int main(int argc, char **argv)
{
    // A console run needs no display; later the organiser opens windows.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Organiser"));
    // With nobody to answer a dialog, alerts (a failed save) go to stderr instead.
    ConsoleAlertResponder consoleAlerts;

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("The ZEM_AppKit example organiser."));
    parser.addHelpOption();
    QCommandLineOption languageOption(QStringLiteral("language"),
                                      QStringLiteral("Language to show besides English."),
                                      QStringLiteral("name"), QStringLiteral("French"));
    parser.addOption(languageOption);
    QCommandLineOption contactOption(QStringLiteral("contact"),
                                     QStringLiteral("Display name of a contact to edit."), QStringLiteral("name"));
    QCommandLineOption fieldOption(QStringLiteral("field"),
                                   QStringLiteral("Field of the contact to set (for example phoneMobile)."),
                                   QStringLiteral("key"));
    QCommandLineOption valueOption(QStringLiteral("value"), QStringLiteral("The field's new value."),
                                   QStringLiteral("text"));
    parser.addOption(contactOption);
    parser.addOption(fieldOption);
    parser.addOption(valueOption);
    QCommandLineOption mailToOption(QStringLiteral("mail-to"),
                                    QStringLiteral("Send a message to this address."), QStringLiteral("address"));
    QCommandLineOption mailFromOption(QStringLiteral("mail-from"),
                                      QStringLiteral("Sender address (default: from the mail settings)."),
                                      QStringLiteral("address"));
    QCommandLineOption subjectOption(QStringLiteral("subject"), QStringLiteral("Subject of the message."),
                                     QStringLiteral("text"));
    QCommandLineOption serverOption(QStringLiteral("mail-server"),
                                    QStringLiteral("SMTP server to deliver through (default: the mail "
                                                   "settings' accounts, then the recipient's exchangers)."),
                                    QStringLiteral("host"));
    QCommandLineOption portOption(QStringLiteral("mail-port"), QStringLiteral("SMTP port (default 25)."),
                                  QStringLiteral("port"), QStringLiteral("25"));
    QCommandLineOption attachOption(QStringLiteral("attach"),
                                    QStringLiteral("File to attach (may be given several times)."),
                                    QStringLiteral("file"));
    QCommandLineOption windowOption(QStringLiteral("tasks-window"),
                                    QStringLiteral("Save a picture of the tasks window to this PNG file."),
                                    QStringLiteral("file"));
    parser.addOption(windowOption);
    parser.addOptions({mailToOption, mailFromOption, subjectOption, serverOption, portOption, attachOption});
    const OrganiserListing listing(parser);
    parser.process(app);

    OrganiserHost host;
    ZEM_F_Host::setDelegate(&host);
    if (listing.requested()) {
        QTextStream err(stderr);
        const int code = listing.run(out(), err);
        ZEM_F_Host::setDelegate(nullptr);
        return code;
    }
    for (const QString &file : host.installSampleData())
        out() << "Installed sample data: " << file << '\n';

    ZEM_F_E_Language *language = ZEM_F_E_Language::shared();
    out() << "Language files in " << ZEM_F_E_Language::languagesFolder() << ": "
          << language->availableLanguages().join(QStringLiteral(", ")) << '\n';

    int languageCalls = 0;
    QObject listener;
    ZEM_F_E_Notifications::shared()->addObserver(
        &listener, QStringLiteral("LanguageCall"), {},
        [&](const ZEM_F_Notification &) { ++languageCalls; });

    platform::StoreContext context;
    auto *task = qobject_cast<OrganiserTask *>(context.insertNewObject(QStringLiteral("OrganiserTask")));
    if (!task) {
        out() << "The record class OrganiserTask is not registered\n";
        return 1;
    }
    out() << "\n== Records ==\n";
    showRecords(context, task);
    out() << "\n== Store ==\n";
    int failures = showStore(parser.value(windowOption)) ? 0 : 1;

    out() << "\n== Contacts ==\n";
    platform::AddressBook::setDefaultFolder(OrganiserHost::addressBookFolder());
    const ContactEdit edit{parser.value(contactOption), parser.value(fieldOption), parser.value(valueOption)};
    if (!showContacts(out(), edit))
        ++failures;

    out() << "\n== Calendar ==\n";
    platform::CalendarStore::setDefaultFolder(OrganiserHost::calendarsFolder());
    if (!showCalendar(out()))
        ++failures;

    if (parser.isSet(mailToOption)) {
        out() << "\n== Mail ==\n";
        bool portOk = false;
        const uint port = parser.value(portOption).toUInt(&portOk);
        if (!portOk || port == 0 || port > 65535) {
            out() << "Not a port: " << parser.value(portOption) << '\n';
            ++failures;
        } else {
            const MailRequest request{parser.value(mailToOption),  parser.value(mailFromOption),
                                      parser.value(subjectOption), parser.value(serverOption),
                                      quint16(port),               parser.values(attachOption)};
            if (!sendMail(out(), request))
                ++failures;
        }
    }

    const QString other = parser.value(languageOption);
    for (const QString &name : {QStringLiteral("English"), other, QStringLiteral("English")}) {
        if (const auto r = language->setActiveLanguage(name); !r) {
            out() << "Could not switch to " << name << ": " << r.error().message << '\n';
            ++failures;
            continue;
        }
        out() << "\n== " << language->activeLanguage() << " ==\n";
        showTexts();
        showDates();
        showTask(task);
    }
    out() << "\nLanguage changes announced: " << languageCalls << '\n';

    out().flush();
    ZEM_F_Host::setDelegate(nullptr);
    return failures == 0 ? 0 : 1;
}
