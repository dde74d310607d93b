// SPDX-License-Identifier: GPL-2.0-or-later
#include "widgetfactory.h"

#include "renderimage.h"
#include "uiconfigbutton.h"
#include "uicustombutton.h"
#include "uicustomlineedit.h"
#include "uifreewindow.h"
#include "uilog.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMetaMethod>
#include <QMovie>
#include <QTextEdit>

namespace {

// The description's texts are translated under the free window's context,
// where the catalogues keep them.
QString translated(const QString &pText)
{
    return QCoreApplication::translate("UiFreeWindow", pText.toUtf8().constData());
}

} // namespace

WidgetFactory::WidgetFactory(UiFreeWindow *pWindow) : m_window(pWindow) {}

void WidgetFactory::setPixelFont(QWidget *pWidget, int pPixels)
{
    if (pPixels <= 0)
        return;
    // A larger size in a damaged description would have the font engine
    // build glyphs of gigabytes.
    if (pPixels > kMaxPixelSize) {
        qCWarning(lcUi) << "font size" << pPixels << "of" << pWidget->objectName() << "limited to" << kMaxPixelSize;
        pPixels = kMaxPixelSize;
    }
    QFont font = pWidget->font();
    font.setPixelSize(pPixels);
    pWidget->setFont(font);
}

QWidget *WidgetFactory::create(const WidgetDescription &pScaled, QWidget *pParent) const
{
    const QString &type = pScaled.type;
    if (type == QLatin1String("QLabel"))
        return createLabel(pScaled, pParent);
    if (type == QLatin1String("UiCustomButton"))
        return createCustomButton(pScaled, pParent);
    if (type == QLatin1String("ButtonWithLabel"))
        return createConfigButton(pScaled, pParent);

    QWidget *widget = nullptr;
    if (type == QLatin1String("QComboBox"))
        widget = new QComboBox(pParent);
    else if (type == QLatin1String("QLineEdit"))
        widget = new QLineEdit(pParent);
    else if (type == QLatin1String("QTextEdit"))
        widget = new QTextEdit(pParent);
    else if (type == QLatin1String("UiCustomLineEdit"))
        widget = new UiCustomLineEdit(pParent);
    else
        return nullptr;
    widget->setGeometry(pScaled.x, pScaled.y, pScaled.width, pScaled.height);
    widget->setStyleSheet(pScaled.styleSheet);
    setPixelFont(widget, pScaled.fontSize);
    return widget;
}

QWidget *WidgetFactory::createLabel(const WidgetDescription &pScaled, QWidget *pParent) const
{
    QLabel *label = nullptr;
    if (pParent == m_window) {
        label = new QLabel();
        m_window->setCentralWidget(label); // disposes of a central widget made before
    } else {
        label = new QLabel(pParent);
    }
    label->setScaledContents(true);
    label->setGeometry(pScaled.x, pScaled.y, pScaled.width, pScaled.height);
    label->setPixmap(renderImage(pScaled.backgroundImage, pScaled.width, pScaled.height));
    if (!pScaled.text.isEmpty())
        label->setText(translated(pScaled.text));
    setPixelFont(label, pScaled.fontSize);
    if (!pScaled.fontColor.isEmpty())
        label->setStyleSheet(QStringLiteral("QLabel { color : ") + pScaled.fontColor + QStringLiteral("  }"));
    if (pScaled.alignment == QLatin1String("Left"))
        label->setAlignment(Qt::AlignLeft);
    else if (pScaled.alignment == QLatin1String("Center"))
        label->setAlignment(Qt::AlignCenter);
    else if (pScaled.alignment == QLatin1String("Right"))
        label->setAlignment(Qt::AlignRight);
    if (!pScaled.movie.isEmpty()) {
        auto *movie = new QMovie(pScaled.movie, QByteArray(), label);
        if (!movie->isValid())
            qCWarning(lcUi) << "cannot load the animation" << pScaled.movie;
        // Frames decoded at the label's size are scaled smoothly; the
        // label's own scaling of a movie is nearest-neighbour.
        movie->setScaledSize(QSize(pScaled.width, pScaled.height));
        label->setMovie(movie);
        movie->start();
    }
    return label;
}

QWidget *WidgetFactory::createCustomButton(const WidgetDescription &pScaled, QWidget *pParent) const
{
    auto *button = new UiCustomButton(pParent);
    button->setWindow(m_window);
    button->setGeometry(pScaled.x, pScaled.y, pScaled.width, pScaled.height);
    button->setToolTipText(pScaled.toolTipText);
    button->setFontColor(pScaled.fontColor);
    if (!pScaled.text.isEmpty())
        button->setButtonText(pScaled.text);
    button->setBackgroundImage(pScaled.backgroundImage);
    button->setBackgroundImage2(pScaled.backgroundImage2);
    button->setBackgroundImage3(pScaled.backgroundImage3);
    button->setImage(pScaled.backgroundImage);
    if (pScaled.fontSize != 0)
        button->setFontSize(pScaled.fontSize);
    button->layoutTextLabel();
    button->setTextAlignment(Qt::AlignCenter);
    connectSlot(button, pScaled.slot);
    return button;
}

QWidget *WidgetFactory::createConfigButton(const WidgetDescription &pScaled, QWidget *pParent) const
{
    auto *button = new UiConfigButton(pParent);
    button->setGeometry(pScaled.x, pScaled.y, pScaled.width, pScaled.height);
    button->setImage(pScaled.image);
    button->setTitle(translated(pScaled.titleText));
    button->setDescription(translated(pScaled.descriptionText));
    button->setWindow(m_window);
    button->setClickable(pScaled.enable);
    button->setImageSize(pScaled.imageWidth, pScaled.imageHeight);
    button->setTitleMarginLeft(pScaled.titleMarginLeft);
    button->setTitleMarginTop(pScaled.titleMarginTop);
    button->setDescriptionMarginLeft(pScaled.descriptionMarginLeft);
    button->setDescriptionMarginTop(pScaled.descriptionMarginTop);
    button->setTitleFontSize(pScaled.titleFontSize);
    button->setDescriptionFontSize(pScaled.descriptionFontSize);
    button->setTitleFontColor(pScaled.titleFontColor);
    button->setDescriptionFontColor(pScaled.descriptionFontColor);
    connectSlot(button, pScaled.slot);
    setPixelFont(button, pScaled.fontSize);
    return button;
}

void WidgetFactory::connectSlot(QObject *pSender, const QString &pSlot) const
{
    if (pSlot.isEmpty())
        return;
    const QMetaObject *window = m_window->metaObject();
    const QByteArray signature = QMetaObject::normalizedSignature(pSlot.toUtf8().constData());
    const int slotIndex = window->indexOfSlot(signature.constData());
    if (slotIndex < 0) {
        qCWarning(lcUi) << "window" << QString::fromStdString(m_window->windowName()) << "has no slot" << pSlot
                        << "; the button stays unconnected";
        return;
    }
    const int signalIndex = pSender->metaObject()->indexOfSignal("clicked()");
    QObject::connect(pSender, pSender->metaObject()->method(signalIndex), m_window, window->method(slotIndex),
                     Qt::AutoConnection);
}

void WidgetFactory::rescale(QWidget *pWidget, const WidgetDescription &pScaled)
{
    pWidget->setGeometry(pScaled.x, pScaled.y, pScaled.width, pScaled.height);
    if (pScaled.type == QLatin1String("ButtonWithLabel")) {
        if (auto *button = qobject_cast<UiConfigButton *>(pWidget)) {
            button->setTitleMarginLeft(pScaled.titleMarginLeft);
            button->setTitleMarginTop(pScaled.titleMarginTop);
            button->setDescriptionMarginLeft(pScaled.descriptionMarginLeft);
            button->setDescriptionMarginTop(pScaled.descriptionMarginTop);
        }
    } else if (pScaled.type == QLatin1String("UiCustomButton")) {
        if (auto *button = qobject_cast<UiCustomButton *>(pWidget))
            button->layoutTextLabel();
    }
    if (auto *label = qobject_cast<QLabel *>(pWidget)) {
        if (QMovie *movie = label->movie())
            movie->setScaledSize(QSize(pScaled.width, pScaled.height));
    }
    setPixelFont(pWidget, pScaled.fontSize);
}
