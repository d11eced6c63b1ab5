#pragma once

#include "controls/ZEM_A_C_NSScrollView.h"
#include "zem_appkit_export.h"

#include <QPointer>
#include <QScrollBar>

#include <QMenu>
class QTimer;

/**
 * A scroller that can ignore multiple clicks. Qt pages a scroll bar once per press, and a
 * double click arrives as a second press, so a double click in the trough pages twice;
 * ignoring multiple clicks drops that second press ("speed scroll" in the menus). It also
 * shows its own context menu when it has one, in place of Qt's scroll bar menu.
 */
class ZEM_APPKIT_EXPORT ZEM_A_C_TableScroller : public QScrollBar
{
    Q_OBJECT
public:
    explicit ZEM_A_C_TableScroller(Qt::Orientation orientation, QWidget *parent = nullptr);

    bool ignoresMultipleClicks() const { return m_ignoresMultipleClicks; }
    void setIgnoresMultipleClicks(bool value) { m_ignoresMultipleClicks = value; }
    /** The menu shown on a context click; null: Qt's own. Not owned. */
    QMenu *menu() const { return m_menu; }
    void setMenu(QMenu *menu) { m_menu = menu; }

protected:
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    bool m_ignoresMultipleClicks = false;
    QPointer<QMenu> m_menu;
};

/**
 * The scroll view that holds a table: its own two scrollers, with an accessory view beside
 * each (a button, a field), and a speed-scroll switch on each scroller's context menu.
 *
 * A QTableView is itself a scroll area, and it scrolls by rows without sizing a widget to
 * its whole content, so the table is not scrolled as a plain widget: it fills this view
 * (widget resizable), its own scroll bars stay hidden, and this view's scrollers mirror
 * them both ways. A document that is not a scroll area is scrolled by this view as usual,
 * the scrollers mirroring this view's own hidden bars. The scrollers are this view's
 * children and are placed by tile(), which Qt's own scroll bar layout would undo.
 *
 * Coordinates are Qt's: y runs down, as in a flipped view.
 *
 * **Example**
 * \code
 * auto *scroll = new ZEM_A_C_TableScrollView(window);
 * scroll->setDocumentView(table);
 * scroll->setVerticalScrollerAccessory(addButton, true);
 * \endcode
 */
class ZEM_APPKIT_EXPORT ZEM_A_C_TableScrollView : public ZEM_A_C_NSScrollView
{
    Q_OBJECT
    // What an interface file may set: the table shown, and the accessories start-up places.
    Q_PROPERTY(QWidget *documentView READ documentView WRITE setDocumentView)
    Q_PROPERTY(QWidget *horizontalAccessory READ horizontalAccessory WRITE setHorizontalAccessory)
    Q_PROPERTY(QWidget *verticalAccessory READ verticalAccessory WRITE setVerticalAccessory)
public:
    explicit ZEM_A_C_TableScrollView(QWidget *parent = nullptr);
    ~ZEM_A_C_TableScrollView() override;

    /** Shows \a document; a scroll area (a table) fills the view and is scrolled by its own bars. */
    void setDocumentView(QWidget *document);
    QWidget *documentView() const { return widget(); }

    ZEM_A_C_TableScroller *horizontalScroller() const { return m_horizontalScroller; }
    ZEM_A_C_TableScroller *verticalScroller() const { return m_verticalScroller; }
    bool hasHorizontalScroller() const { return m_hasHorizontalScroller; }
    void setHasHorizontalScroller(bool value);
    bool hasVerticalScroller() const { return m_hasVerticalScroller; }
    void setHasVerticalScroller(bool value);
    /** The width of a scroller as the style draws it. */
    int scrollerWidth() const;

    /** A ruler shown along the top while rulers are visible; owned once set. */
    void setHorizontalRulerView(QWidget *ruler);
    QWidget *horizontalRulerView() const { return m_horizontalRuler; }
    bool rulersVisible() const { return m_rulersVisible; }
    Q_INVOKABLE void setRulersVisible(bool visible);

    // Accessories: owned once set.
    QWidget *horizontalAccessory() const { return m_horizontalAccessory; }
    void setHorizontalAccessory(QWidget *view) { m_horizontalAccessory = view; }
    QWidget *verticalAccessory() const { return m_verticalAccessory; }
    void setVerticalAccessory(QWidget *view) { m_verticalAccessory = view; }
    bool onRightSide() const { return m_onRightSide; }
    bool atTop() const { return m_atTop; }
    void setHorizontalAccessoryIsOnRightSide(bool value) { m_onRightSide = value; }
    void setVerticalScrollerAccessoryIsAtTop(bool value) { m_atTop = value; }

    /** Stores \a view and \a onRightSide and makes the view a child placed by tile(). */
    void setHorizontalScrollerAccessory(QWidget *view, bool onRightSide);
    /** Stores \a view and \a atTop and makes the view a child placed by tile(). */
    void setVerticalScrollerAccessory(QWidget *view, bool atTop);
    /** Stores the view only. */
    void setHorizontalScrollerAccessory(QWidget *view) { setHorizontalAccessory(view); }
    void setVerticalScrollerAccessory(QWidget *view) { setVerticalAccessory(view); }

    // Speed scroll: the scroller ignores multiple clicks while on.
    Q_INVOKABLE void speedHorizontalOn(QObject *sender = nullptr);
    Q_INVOKABLE void speedHorizontalOff(QObject *sender = nullptr);
    Q_INVOKABLE void speedVerticalOn(QObject *sender = nullptr);
    Q_INVOKABLE void speedVerticalOff(QObject *sender = nullptr);

    /**
     * Start-up: places accessories set beforehand (horizontal on the left, vertical at the
     * top), registers for "ResetMenu" and builds the scroller menus a second later.
     */
    Q_INVOKABLE void awakeFromNib();
    /** Builds each scroller's "NL:Speed Scroll On" / "NL:Speed Scroll Off" menu. */
    Q_INVOKABLE void resetMenu();
    /** An "on" item is enabled while its scroller does not ignore multiple clicks, an "off" item while it does. */
    Q_INVOKABLE bool validateMenuItem(QObject *item) const;
    /** The base layout of ruler, scrollers and viewport, then the accessories beside the scrollers. */
    Q_INVOKABLE void tile();
    Q_INVOKABLE bool acceptsFirstMouse() const { return true; }

protected:
    bool event(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    void mirror(QScrollBar *source, ZEM_A_C_TableScroller *scroller);
    void setScrollerMenu(ZEM_A_C_TableScroller *scroller, const QString &onAction, const QString &offAction);
    int horizontalRulerHeight() const;
    int documentHeaderHeight() const;

    ZEM_A_C_TableScroller *m_horizontalScroller = nullptr;
    ZEM_A_C_TableScroller *m_verticalScroller = nullptr;
    QPointer<QWidget> m_horizontalAccessory;
    QPointer<QWidget> m_verticalAccessory;
    QPointer<QWidget> m_horizontalRuler;
    QTimer *m_menuTimer = nullptr;
    QList<QMetaObject::Connection> m_mirrorConnections;
    bool m_onRightSide = false;
    bool m_atTop = false;
    bool m_rulersVisible = false;
    bool m_hasHorizontalScroller = true;
    bool m_hasVerticalScroller = true;
};
