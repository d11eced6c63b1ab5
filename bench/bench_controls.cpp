// A language switch re-texts every live control at once; a window of 1,000 localized
// controls must switch in well under 50 ms, layout included.
#include "controls/ZEM_A_C_NSBox.h"
#include "controls/ZEM_A_C_NSButton.h"
#include "controls/ZEM_A_C_NSMenu.h"
#include "controls/ZEM_A_C_NSMenuItem.h"
#include "controls/ZEM_A_C_NSPopUpButton.h"
#include "controls/ZEM_A_C_NSTextField.h"
#include "controls/ZEM_A_C_NSDatePicker.h"
#include "foundation/ZEM_F_E_Language.h"
#include "foundation/ZEM_F_HostDelegate.h"
#include "foundation/ZEM_F_PropertyList.h"

#include "BenchMain.h"

#include <QApplication>
#include <QDir>
#include <QGridLayout>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

namespace {

constexpr int kControls = 1000;

ZEM_F_E_Language *engine() { return ZEM_F_E_Language::shared(); }

bool writeFrench()
{
    ZEM_F_StringTable table;
    for (int i = 0; i < kControls; ++i) {
        table.insert(QStringLiteral("NL:Field %1").arg(i), QStringLiteral("Champ %1").arg(i));
        table.insert(QStringLiteral("NT:Tip %1").arg(i), QStringLiteral("Astuce %1").arg(i));
    }
    const QString folder = ZEM_F_E_Language::languagesFolder();
    QDir().mkpath(folder);
    return ZEM_F_PropertyList::writeStringTableFile(folder + QStringLiteral("/Bench_French.plist"), table).has_value();
}

// Buttons, label fields, boxes, pop-ups, date pickers and menu items in equal shares; every
// other control has a tool tip of its own, the rest get made-up ones.
std::unique_ptr<QWidget> makeWindow()
{
    auto window = std::make_unique<QWidget>();
    auto *grid = new QGridLayout(window.get());
    auto *menu = new ZEM_A_C_NSMenu(QStringLiteral("Field menu"), window.get());
    for (int i = 0; i < kControls; ++i) {
        const QString title = QStringLiteral("Field %1").arg(i);
        QWidget *widget = nullptr;
        switch (i % 6) {
        case 0: widget = new ZEM_A_C_NSButton(title); break;
        case 1: widget = new ZEM_A_C_NSTextField(title); break;
        case 2: widget = new ZEM_A_C_NSBox(title); break;
        case 3: {
            auto *popUp = new ZEM_A_C_NSPopUpButton;
            popUp->setTitle(title);
            widget = popUp;
            break;
        }
        case 4: widget = new ZEM_A_C_NSDatePicker; break;
        default: {
            auto *item = new ZEM_A_C_NSMenuItem(menu);
            item->setTitle(title);
            menu->addAction(item);
            item->awakeFromNib();
            continue;
        }
        }
        if (i % 2 == 0)
            widget->setToolTip(QStringLiteral("Tip %1").arg(i));
        grid->addWidget(widget, i / 20, i % 20);
        QMetaObject::invokeMethod(widget, "awakeFromNib");
    }
    menu->awakeFromNib();
    window->resize(1600, 1200);
    window->show();
    QCoreApplication::processEvents();
    return window;
}

void settle()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
}

void BM_SwitchLanguage(benchmark::State &state)
{
    const bool withLayout = state.range(0) != 0;
    const auto window = makeWindow();
    // Measure only a switch that really re-texts the controls.
    (void)engine()->setActiveLanguage(QStringLiteral("French"));
    const auto *first = window->findChild<ZEM_A_C_NSButton *>();
    if (!first || first->title() != QStringLiteral("Champ 0") || first->toolTip() != QStringLiteral("Astuce 0")) {
        state.SkipWithError("the controls did not follow the language");
        return;
    }
    bool french = true;
    for (auto _ : state) {
        french = !french;
        if (!engine()->setActiveLanguage(french ? QStringLiteral("French") : QStringLiteral("English"))) {
            state.SkipWithError("cannot switch the language");
            break;
        }
        if (withLayout)
            settle();
    }
    state.counters["controls"] = kControls;
    (void)engine()->setActiveLanguage(QStringLiteral("English"));
}
BENCHMARK(BM_SwitchLanguage)->ArgName("layout")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    return runKitBenchmarks<QApplication>(argc, argv, [] {
        return writeFrench() && engine()->setActiveLanguage(QStringLiteral("French"))
            && engine()->setActiveLanguage(QStringLiteral("English"));
    });
}
