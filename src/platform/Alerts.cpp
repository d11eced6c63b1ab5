#include "platform/Alerts.h"

#include <QAbstractButton>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

#include <memory>

namespace platform {

namespace {

AlertResponder *g_responder = nullptr;

// \a order receives the buttons in the request's order, which the box's own layout
// may not keep.
QMessageBox *makeBox(const AlertRequest &request, QWidget *parent,
                     QList<QAbstractButton *> &order)
{
    auto *box = new QMessageBox(parent);
    box->setIcon(QMessageBox::Warning);
    box->setWindowTitle(request.title);
    box->setText(request.title.isEmpty() ? request.text : request.title);
    // The title is the box's headline; the text and the details go below it.
    QStringList below;
    if (!request.title.isEmpty() && !request.text.isEmpty())
        below << request.text;
    if (!request.informativeText.isEmpty())
        below << request.informativeText;
    box->setInformativeText(below.join(QStringLiteral("\n\n")));

    QStringList titles = request.buttons.mid(0, 3);
    if (titles.isEmpty())
        titles << QStringLiteral("OK");
    static const QMessageBox::ButtonRole roles[] = {
        QMessageBox::AcceptRole, QMessageBox::RejectRole, QMessageBox::DestructiveRole};
    order.clear();
    for (qsizetype i = 0; i < titles.size(); ++i)
        order << box->addButton(titles.at(i), roles[i]);
    box->setDefaultButton(qobject_cast<QPushButton *>(order.first()));
    box->setEscapeButton(order.size() > 1 ? order.at(1) : order.first());
    return box;
}

int pressedIndex(const QMessageBox *box, const QList<QAbstractButton *> &order)
{
    QAbstractButton *clicked = box->clickedButton();
    return clicked ? int(order.indexOf(clicked)) : -1;
}

} // namespace

AlertResponder::~AlertResponder() = default;

AlertRequest::Style Alerts::resolvedStyle(const AlertRequest &request)
{
    if (request.style == AlertRequest::Style::Sheet && request.window
        && request.window->isVisible())
        return AlertRequest::Style::Sheet;
    return AlertRequest::Style::Panel;
}

int Alerts::runAlert(AlertRequest request, AlertCallback done)
{
    request.style = resolvedStyle(request);
    if (g_responder) {
        const int answer = g_responder->answerAlert(request);
        if (done)
            done(answer);
        return answer;
    }

    if (request.style == AlertRequest::Style::Sheet) {
        QList<QAbstractButton *> order;
        QMessageBox *box = makeBox(request, request.window.data(), order);
        box->setWindowModality(Qt::WindowModal);
        box->setAttribute(Qt::WA_DeleteOnClose);
        QObject::connect(box, &QMessageBox::finished, box, [box, order, done] {
            if (done)
                done(pressedIndex(box, order));
        });
        box->open();
        return -1;
    }

    QList<QAbstractButton *> order;
    std::unique_ptr<QMessageBox> box(makeBox(request, request.window.data(), order));
    box->setWindowModality(Qt::ApplicationModal);
    box->exec();
    const int index = pressedIndex(box.get(), order);
    box.reset();
    if (done)
        done(index);
    return index;
}

PanelResult Alerts::runOpenPanel(const OpenPanelRequest &request)
{
    if (g_responder)
        return g_responder->answerOpenPanel(request);
    QFileDialog dialog(request.window.data(), request.prompt, request.directory);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (request.chooseDirectories) {
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly);
    } else {
        dialog.setFileMode(request.allowsMultiple ? QFileDialog::ExistingFiles
                                                  : QFileDialog::ExistingFile);
    }
    if (!request.nameFilters.isEmpty())
        dialog.setNameFilters(request.nameFilters);
    if (dialog.exec() != QDialog::Accepted)
        return PanelResult::cancelled();
    return PanelResult::chosen(dialog.selectedFiles());
}

PanelResult Alerts::runSavePanel(const SavePanelRequest &request)
{
    if (g_responder)
        return g_responder->answerSavePanel(request);
    QFileDialog dialog(request.window.data(), request.prompt, request.directory);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    if (!request.nameFilters.isEmpty())
        dialog.setNameFilters(request.nameFilters);
    // NOTE: offscreen, a save dialog given a missing file here never returns from exec();
    // tests answer panels through a responder instead.
    if (!request.fileName.isEmpty())
        dialog.selectFile(request.fileName);
    if (dialog.exec() != QDialog::Accepted)
        return PanelResult::cancelled();
    return PanelResult::chosen(dialog.selectedFiles().mid(0, 1));
}

void Alerts::setResponder(AlertResponder *responder) { g_responder = responder; }

AlertResponder *Alerts::responder() { return g_responder; }

RecordingAlertResponder::RecordingAlertResponder(bool install) : m_installed(install)
{
    if (install)
        Alerts::setResponder(this);
}

RecordingAlertResponder::~RecordingAlertResponder()
{
    if (m_installed && Alerts::responder() == this)
        Alerts::setResponder(nullptr);
}

namespace {
// The next queued answer, or \a fallback when the test queued none.
template<typename T>
T takeNext(std::deque<T> &queue, T fallback)
{
    if (queue.empty())
        return fallback;
    T answer = std::move(queue.front());
    queue.pop_front();
    return answer;
}
} // namespace

int RecordingAlertResponder::answerAlert(const AlertRequest &request)
{
    m_alerts.append(request);
    return takeNext(m_alertAnswers, 0);
}

PanelResult RecordingAlertResponder::answerOpenPanel(const OpenPanelRequest &request)
{
    m_openPanels.append(request);
    return takeNext(m_openAnswers, PanelResult::cancelled());
}

PanelResult RecordingAlertResponder::answerSavePanel(const SavePanelRequest &request)
{
    m_savePanels.append(request);
    return takeNext(m_saveAnswers, PanelResult::cancelled());
}

void RecordingAlertResponder::clear()
{
    m_alerts.clear();
    m_openPanels.clear();
    m_savePanels.clear();
    m_alertAnswers.clear();
    m_openAnswers.clear();
    m_saveAnswers.clear();
}

} // namespace platform
