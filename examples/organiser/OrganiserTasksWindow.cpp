#include "OrganiserTasksWindow.h"

#include <foundation/ZEM_F_E_Language.h>
#include <platform/InterfaceLoader.h>
#include <records/ZEM_A_C_ManagedObjectContoller.h>
#include <tables/ZEM_A_C_ArrayController.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QImage>
#include <QEventLoop>
#include <QLineEdit>
#include <QTimer>

#include <memory>

bool showTasksWindow(QTextStream &out, ZEM_A_C_ManagedObjectContoller &store, const QString &pngPath)
{
    // Outlets in the file name the store by this name.
    store.setObjectName(QStringLiteral("taskStore"));
    QString error;
    std::unique_ptr<QWidget> window(platform::InterfaceLoader::load(
        QStringLiteral(":/organiser/Windows/TasksWindow.ui"), nullptr, &error, nullptr, {&store}));
    if (!window) {
        out << "Could not build the tasks window: " << error << '\n';
        return false;
    }
    auto *tasks = window->findChild<ZEM_A_C_ArrayController *>(QStringLiteral("tasksController"));
    auto *table = window->findChild<QAbstractItemView *>(QStringLiteral("tasksTable"));
    if (!tasks || !table) {
        out << "The tasks window lacks its controller or table\n";
        return false;
    }
    const ZEM_F_E_Language *language = ZEM_F_E_Language::shared();
    const char *titles[] = {"NL:Title", "NL:Notes", "NL:Due", "NL:Done"};
    for (int column = 0; column < tasks->columnCount() && column < int(std::size(titles)); ++column)
        tasks->setHeaderData(column, Qt::Horizontal, language->stringForKeyLook(QString::fromLatin1(titles[column])));
    if (auto *search = window->findChild<QLineEdit *>(QStringLiteral("searchField")))
        QObject::connect(search, &QLineEdit::textChanged, tasks,
                         [tasks](const QString &text) { tasks->search(text, tasks->searchKey()); });

    out << "Tasks window: " << tasks->rowCount() << " tasks\n";
    for (int row = 0; row < tasks->rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < tasks->columnCount(); ++column)
            cells.append(tasks->index(row, column).data().toString());
        out << "  " << cells.join(QStringLiteral(" | ")) << '\n';
    }
    if (!pngPath.isEmpty()) {
        window->resize(window->sizeHint().expandedTo(QSize(560, 320)));
        window->show();
        // Start-up finishes on the event loop (counters after 0.5 s, tool tips after 1 s).
        QEventLoop settle;
        QTimer::singleShot(1100, &settle, &QEventLoop::quit);
        settle.exec();
        if (auto *counter = window->findChild<QLineEdit *>(QStringLiteral("countField")))
            out << "  counter: " << counter->text() << '\n';
        if (!window->grab().toImage().save(pngPath, "PNG")) {
            out << "Could not save the tasks window to " << pngPath << '\n';
            return false;
        }
        out << "Saved the tasks window to " << pngPath << '\n';
    }
    return true;
}
