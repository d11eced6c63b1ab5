#pragma once

#include "foundation/ZEM_F_B_Securitry.h"
#include "zem_appkit_export.h"

#include <QPointF>
#include <QVariant>

class QWidget;

/**
 * Mouse tracking for views the user moves by dragging.
 *
 * The event handed in is passed on to the controller unchanged, as the QVariant it came
 * in: callers usually pass QVariant::fromValue<QMouseEvent *>(event) from their
 * mousePressEvent(), which stays valid for the duration of the call. A controller's
 * answer counts as an object when it is valid and not null (a null QObject pointer is
 * null).
 */
class ZEM_APPKIT_EXPORT ZEM_A_E_Events : public ZEM_F_B_Securitry
{
    Q_OBJECT
public:
    static ZEM_A_E_Events *shared();

    /**
     * Waits up to \a seconds for the next left-button release or left-button drag in
     * \a view's window, leaving that event to be delivered as usual. A release answers
     * false. Otherwise (a drag, or nothing within the time) the controller is sent
     * "unconstrainedMove:" with \a event, and the answer is true when it returned an
     * object. False without a view or a controller.
     *
     * While it waits, a local event loop runs: timers fire and other events are delivered
     * as usual.
     */
    Q_INVOKABLE bool moveSupport(const QVariant &event, QWidget *view, double seconds,
                                 QObject *controller);
    /**
     * Sends the controller "move:" with \a event and answers true when it returned no
     * object. \a adjust and \a view are kept for callers that pass them; the controller
     * works out the move itself. False without a controller.
     */
    Q_INVOKABLE bool mouseDownMove(const QVariant &event, const QPointF &adjust, QWidget *view,
                                   QObject *controller);

    ~ZEM_A_E_Events() override;

private:
    explicit ZEM_A_E_Events(QObject *parent = nullptr);
};
