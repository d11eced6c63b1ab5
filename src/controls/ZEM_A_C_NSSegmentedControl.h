#pragma once

#include "ZEM_A_C_Localized.h"
#include "foundation/ZEM_F_Notification.h"
#include "zem_appkit_export.h"

#include <QImage>
#include <QList>
#include <QPointer>
#include <QStringList>
#include <QWidget>

class QButtonGroup;
class QHBoxLayout;
class QMenu;
class QToolButton;

/**
 * A row of segments, one selectable at a time, whose labels and tool tips follow the
 * active language. Each segment has a label, an image, a menu (popped up from it) and a
 * tool tip. "titles" and "toolTips" give and take the segments' labels and tool tips in
 * order ("" for none).
 *
 * After each language change the control is sized to fit and, when a resize view is set,
 * centred horizontally in it.
 */
class ZEM_APPKIT_EXPORT ZEM_A_C_NSSegmentedControl : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QStringList titles READ titles WRITE setTitles)
    Q_PROPERTY(QStringList toolTips READ toolTips WRITE setToolTips)
    Q_PROPERTY(int selectedSegment READ selectedSegment WRITE setSelectedSegment)
    Q_PROPERTY(QString toolTipKey READ toolTipKey WRITE setToolTipKey)
    Q_PROPERTY(QStringList titleKeys READ titleKeys WRITE setTitleKeys)
    Q_PROPERTY(QStringList toolTipKeys READ toolTipKeys WRITE setToolTipKeys)
    Q_PROPERTY(bool hasToolTip READ hasToolTip)
    Q_PROPERTY(bool hasTitles READ hasTitles)
    Q_PROPERTY(bool hasToolTips READ hasToolTips)
    Q_PROPERTY(bool hasMadeUpToolTips READ hasMadeUpToolTips)
public:
    explicit ZEM_A_C_NSSegmentedControl(int segmentCount = 0, QWidget *parent = nullptr);
    ~ZEM_A_C_NSSegmentedControl() override;

    int segmentCount() const { return int(m_buttons.size()); }
    /** Adds or removes segments at the end; a negative count counts as 0. */
    void setSegmentCount(int count);
    /** The button of \a segment, or null outside the control. */
    QToolButton *segmentButton(int segment) const;

    // Segment values; a segment outside the control reads empty and ignores setting.
    QString label(int segment) const;
    void setLabel(int segment, const QString &label);
    QImage image(int segment) const;
    void setImage(int segment, const QImage &image);
    QMenu *menu(int segment) const;
    /** Not owned. */
    void setMenu(int segment, QMenu *menu);
    QString segmentToolTip(int segment) const;
    void setSegmentToolTip(int segment, const QString &toolTip);

    /** The selected segment, -1 for none. */
    int selectedSegment() const;
    void setSelectedSegment(int segment);

    QStringList titles() const;
    void setTitles(const QStringList &titles);
    QStringList toolTips() const;
    void setToolTips(const QStringList &toolTips);

    /** The view to centre the control in after a language change; not owned. */
    QWidget *resizeView() const { return m_resizeView; }
    void setResizeView(QWidget *view) { m_resizeView = view; }
    /** Sizes the control to fit and centres it horizontally in the resize view, if any. */
    void setSegmentPosition();

    QString toolTipKey() const { return m_lang.toolTipKey; }
    void setToolTipKey(const QString &key) { m_lang.toolTipKey = key; }
    QStringList titleKeys() const { return m_lang.titleKeys; }
    void setTitleKeys(const QStringList &keys) { m_lang.titleKeys = keys; }
    QStringList toolTipKeys() const { return m_lang.toolTipKeys; }
    void setToolTipKeys(const QStringList &keys) { m_lang.toolTipKeys = keys; }
    bool hasToolTip() const { return m_lang.hasToolTip; }
    bool hasTitles() const { return m_lang.hasTitles; }
    bool hasToolTips() const { return m_lang.hasToolTips; }
    bool hasMadeUpToolTips() const { return m_lang.hasMadeUpToolTips; }

    /** Hands the labels and tool tips to the language engine and registers for changes. */
    Q_INVOKABLE void awakeFromNib();
    /** Shows the texts in the language \a notification announces; the number 0 restores them. */
    Q_INVOKABLE void languageCall(const ZEM_F_Notification &notification);

private:
    QHBoxLayout *m_layout;
    QButtonGroup *m_group;
    QList<QToolButton *> m_buttons;
    QList<QImage> m_images;
    QPointer<QWidget> m_resizeView;
    ZEM_A_C_Localized m_lang{this};
};
