#include "ZEM_A_E_ImageEngine.h"

#include "ZEM_A_I_ImageEngine.h"
#include "ZEM_A_Y_NSImage.h"
#include "foundation/ZEM_F_ClassRegistry.h"
#include "foundation/ZEM_F_HostDelegate.h"

#include <QApplication>

namespace {
[[maybe_unused]] const bool registered =
    ZEM_F_ClassRegistry::registerShared(QStringLiteral("ZEM_A_E_ImageEngine"), [] {
        return static_cast<QObject *>(ZEM_A_E_ImageEngine::shared());
    });

constexpr int sourceIn = 3;
} // namespace

ZEM_A_E_ImageEngine::ZEM_A_E_ImageEngine(QObject *parent) : ZEM_F_B_Securitry(parent) {}

// The view is a top-level widget that lives as long as the engine: the process.
ZEM_A_E_ImageEngine::~ZEM_A_E_ImageEngine() = default;

ZEM_A_E_ImageEngine *ZEM_A_E_ImageEngine::shared()
{
    static auto *instance = new ZEM_A_E_ImageEngine;
    return instance;
}

ZEM_A_I_ImageEngine *ZEM_A_E_ImageEngine::loadImageEngine()
{
    // A widget needs a widget application; without one the compose operations answer null.
    if (!m_imageEngine && qobject_cast<QApplication *>(QCoreApplication::instance()))
        m_imageEngine = new ZEM_A_I_ImageEngine(viewSize());
    return m_imageEngine;
}

QImage ZEM_A_E_ImageEngine::composeImage(const QImage &image, const QColor &destColor, int type)
{
    if (image.isNull() || !isCompositingOperation(type))
        return {};
    ZEM_A_I_ImageEngine *view = loadImageEngine();
    if (!view)
        return {};
    view->setOperator(type);
    view->changeBackgroundImageTo(QImage());
    view->setDestColor(destColor);
    if (!view->changeCustomImageTo(image))
        return {};
    return view->returnResult();
}

QImage ZEM_A_E_ImageEngine::composeBackgroundImage(const QImage &image,
                                                   const QImage &backgroundImage, int type)
{
    if (image.isNull() || !isCompositingOperation(type))
        return {};
    ZEM_A_I_ImageEngine *view = loadImageEngine();
    if (!view)
        return {};
    view->setOperator(type);
    if (!view->changeCustomImageTo(image))
        return {};
    view->changeBackgroundImageTo(backgroundImage);
    return view->returnResult();
}

QImage ZEM_A_E_ImageEngine::composeImageNoBackGroundColor(const QImage &image,
                                                          const QColor &destColor, int type) const
{
    return composeImageViewWithColor(image, destColor, type);
}

QImage ZEM_A_E_ImageEngine::composeDefaultImage(const QImage &image, const QString &colorKey) const
{
    const QColor color = ZEM_F_Host::defaults()->getColorFromClass(colorKey);
    if (!color.isValid())
        return image.copy();
    return composeImageNoBackGroundColor(image, color, sourceIn);
}
