#include "admin/pages/FixedRowDelegate.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCache>
#include <QPaintEngine>
#include <QPainter>
#include <QProxyStyle>
#include <QTextLayout>

#include <cmath>
#include <optional>

namespace korvel::admin
{

namespace
{

// All that decides where the style puts a row's text and how it breaks it into lines.
struct RowTextKey
{
    QString Text;
    QFont Font;
    QSize Size;
    Qt::LayoutDirection Direction = Qt::LeftToRight;
    Qt::Alignment Alignment;
    bool DecorationSelected = false;
    const QStyle* Style = nullptr;

    bool operator==(const RowTextKey&) const = default;
};

size_t qHash(const RowTextKey& key, size_t seed = 0)
{
    return qHashMulti(seed, key.Text, key.Font, key.Size.width(), int(key.Direction), key.Style);
}

// A row's text as the style would draw it, or no layout when the style's own paint is needed (the text
// takes more than one line or is elided).
struct RowText
{
    std::unique_ptr<QTextLayout> Layout;
    QPointF Offset; // of the layout from the row's top left corner
};

// Lays the text out as the style does when it draws an item view's text (the text rect less its margins,
// no wrapping, aligned and elided within it), keeping the layout only when it draws the text unchanged.
RowText* LayOutRowText(const QStyleOptionViewItem& item, const QStyle* style)
{
    auto* row = new RowText;
    const QWidget* widget = item.widget;
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
    const QRect textRect =
        style->subElementRect(QStyle::SE_ItemViewItemText, &item, widget).adjusted(margin, 0, -margin, 0);
    QTextOption textOption;
    textOption.setWrapMode(QTextOption::ManualWrap);
    textOption.setTextDirection(item.direction);
    textOption.setAlignment(QStyle::visualAlignment(item.direction, item.displayAlignment));
    auto layout = std::make_unique<QTextLayout>(item.text, item.font);
    layout->setTextOption(textOption);
    // Else the layout keeps only its lines, and each paint would shape the text again.
    layout->setCacheEnabled(true);
    layout->beginLayout();
    for (qreal height = 0;;)
    {
        QTextLine line = layout->createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(textRect.width());
        line.setPosition(QPointF(0, height));
        height += line.height();
    }
    layout->endLayout();
    const QRect layoutRect = QStyle::alignedRect(Qt::LayoutDirectionAuto, item.displayAlignment,
                                                 layout->boundingRect().size().toSize(), textRect);
    const QTextLine line = layout->lineAt(0);
    const bool unchanged = layout->lineCount() == 1 && line.textLength() == item.text.size() &&
                           line.naturalTextWidth() <= textRect.width() &&
                           line.height() + layoutRect.top() > textRect.top();
    if (unchanged)
    {
        row->Layout = std::move(layout);
        row->Offset = QPointF(textRect.x(), layoutRect.top()) - QPointF(item.rect.topLeft());
    }
    return row;
}

// Whether Fusion draws the rows: the window's flat look is a proxy over it that leaves item views to it.
bool FusionDrawsRows(const QStyle* style)
{
    while (const auto* proxy = qobject_cast<const QProxyStyle*>(style))
        style = proxy->baseStyle();
    return style->name().compare(u"fusion", Qt::CaseInsensitive) == 0;
}

// The rows whose look is the style's in full: they paint seldom (one at a time) or lay out differently.
bool StylePaintsRow(const QStyleOptionViewItem& item, const QStyle* style, const QPainter* painter)
{
    using Feature = QStyleOptionViewItem::ViewItemFeature;
    constexpr QStyle::State styled = QStyle::State_Selected | QStyle::State_HasFocus | QStyle::State_Editing;
    return (item.state & styled) || item.text.isEmpty() || !item.icon.isNull() ||
           item.features != (item.features & (Feature::HasDisplay | Feature::Alternate)) ||
           painter->hasClipping() || !FusionDrawsRows(style);
}

// The text colour of a row in its state, as the style picks it.
QColor RowTextColour(const QStyleOptionViewItem& item)
{
    QPalette::ColorGroup group = QPalette::Disabled;
    if (item.state & QStyle::State_Enabled)
        group = item.state & QStyle::State_Active ? QPalette::Normal : QPalette::Inactive;
    return item.palette.color(group, QPalette::Text);
}

// What the style draws for a plain row: its background, then its text in the text colour.
void DrawPlainRow(QPainter& painter, const QStyleOptionViewItem& item, const QStyle* style,
                  const RowText& text)
{
    painter.save();
    painter.setClipRect(item.rect);
    style->drawPrimitive(QStyle::PE_PanelItemViewItem, &item, &painter, item.widget);
    painter.setPen(RowTextColour(item));
    text.Layout->draw(&painter, QPointF(item.rect.topLeft()) + text.Offset);
    painter.restore();
}

// The raster image a view paints on, when a row's paint there can be replaced by drawing a kept image of the
// row: the painter draws on the view's own surface, which it filled with an opaque solid colour, at whole
// device pixels and without blending anything in.
struct RowSurface
{
    QImage::Format Format = QImage::Format_Invalid;
    qreal PixelRatio = 1;
    QColor Background;
};

std::optional<RowSurface> OpaqueRowSurface(const QPainter& painter, const QStyleOptionViewItem& item)
{
    // A drag's picture of the rows, for one, is painted on a transparent pixmap of its own.
    const auto* view = qobject_cast<const QAbstractItemView*>(item.widget);
    if (!view || painter.device() != view->viewport() || !view->viewport()->autoFillBackground())
        return {};
    const QBrush& background = view->viewport()->palette().brush(view->viewport()->backgroundRole());
    if (background.style() != Qt::SolidPattern || !background.isOpaque() ||
        item.backgroundBrush.style() != Qt::NoBrush || (item.features & QStyleOptionViewItem::Alternate))
        return {};
    const QPaintEngine* engine = painter.paintEngine();
    if (!engine || engine->type() != QPaintEngine::Raster || !engine->paintDevice() ||
        engine->paintDevice()->devType() != QInternal::Image)
        return {};
    const auto* target = static_cast<const QImage*>(engine->paintDevice());
    if (target->format() != QImage::Format_RGB32 && target->format() != QImage::Format_ARGB32_Premultiplied)
        return {};
    const qreal ratio = target->devicePixelRatio();
    const QTransform& transform = painter.deviceTransform();
    const QRectF onDevice = transform.mapRect(QRectF(item.rect));
    const auto whole = [](qreal value) { return value == std::round(value); };
    if (transform.type() > QTransform::TxScale || transform.m11() != ratio || transform.m22() != ratio ||
        !whole(onDevice.x()) || !whole(onDevice.y()) || !whole(onDevice.width()) ||
        !whole(onDevice.height()) || painter.opacity() != 1 ||
        painter.compositionMode() != QPainter::CompositionMode_SourceOver)
        return {};
    return RowSurface{target->format(), ratio, background.color()};
}

// All that decides the pixels of a plain row's paint on an opaque surface.
struct RowImageKey
{
    RowTextKey Text;
    QRgba64 Background;
    QRgba64 TextColour;
    int State = 0;
    int Hints = 0;
    qreal PixelRatio = 1;
    QImage::Format Format = QImage::Format_Invalid;

    bool operator==(const RowImageKey&) const = default;
};

size_t qHash(const RowImageKey& key, size_t seed = 0)
{
    return qHashMulti(seed, key.Text, quint64(key.Background), quint64(key.TextColour), key.State);
}

// The row as its paint leaves it on the surface: the surface's colour, then the row drawn over it.
QImage PaintRowImage(const QStyleOptionViewItem& item, const QStyle* style, const RowText& text,
                     const RowSurface& surface, QPainter::RenderHints hints)
{
    QImage image((QSizeF(item.rect.size()) * surface.PixelRatio).toSize(), surface.Format);
    image.setDevicePixelRatio(surface.PixelRatio);
    image.fill(surface.Background);
    QPainter painter(&image);
    painter.setRenderHints(hints);
    QStyleOptionViewItem atOrigin = item;
    atOrigin.rect.moveTo(0, 0);
    DrawPlainRow(painter, atOrigin, style, text);
    return image;
}

} // namespace

// The layouts of the rows painted last, a few screens' worth.
class RowTextLayouts : public QCache<RowTextKey, RowText>
{
public:
    RowTextLayouts() : QCache(256) {}
};

// The rows painted more than once lately, as images: a few screens' worth, at least 64 rows (the cost is in
// bytes). A row too big for that (a log line thousands of pixels wide, at twice the pixel ratio) is drawn.
class RowImages : public QCache<RowImageKey, QImage>
{
public:
    static constexpr qsizetype MaxBytes = 8 * 1024 * 1024;
    static constexpr qsizetype MaxRowBytes = MaxBytes / 64;

    RowImages() : QCache(MaxBytes) {}
};

FixedRowDelegate::FixedRowDelegate(QObject* parent, int width)
    : QStyledItemDelegate(parent), width_(width), layouts_(std::make_unique<RowTextLayouts>()),
      images_(std::make_unique<RowImages>())
{
}

FixedRowDelegate::~FixedRowDelegate() = default;

QSize FixedRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const int width = width_ > 0 ? width_ : QStyledItemDelegate::sizeHint(option, index).width();
    return {width, RowHeight};
}

void FixedRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const
{
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    if (StylePaintsRow(item, style, painter))
    {
        style->drawControl(QStyle::CE_ItemViewItem, &item, painter, widget);
        return;
    }
    RowTextKey key{item.text,
                   item.font,
                   item.rect.size(),
                   item.direction,
                   item.displayAlignment,
                   item.showDecorationSelected,
                   style};
    RowText* text = layouts_->object(key);
    const bool paintedBefore = text != nullptr;
    if (!text)
    {
        text = LayOutRowText(item, style);
        layouts_->insert(key, text);
    }
    if (!text->Layout)
    {
        style->drawControl(QStyle::CE_ItemViewItem, &item, painter, widget);
        return;
    }
    // A row painted once is drawn from its layout; painted again, it is kept as an image.
    const std::optional<RowSurface> surface = paintedBefore ? OpaqueRowSurface(*painter, item) : std::nullopt;
    if (!surface)
    {
        DrawPlainRow(*painter, item, style, *text);
        return;
    }
    const RowImageKey imageKey{key,
                               surface->Background.rgba64(),
                               RowTextColour(item).rgba64(),
                               int(item.state),
                               int(painter->renderHints()),
                               surface->PixelRatio,
                               surface->Format};
    const QImage* image = images_->object(imageKey);
    if (!image)
    {
        const QSizeF pixels = QSizeF(item.rect.size()) * surface->PixelRatio;
        if (pixels.width() * pixels.height() * 4 > RowImages::MaxRowBytes)
        {
            DrawPlainRow(*painter, item, style, *text);
            return;
        }
        auto* made = new QImage(PaintRowImage(item, style, *text, *surface, painter->renderHints()));
        images_->insert(imageKey, made, made->sizeInBytes());
        image = made;
    }
    painter->drawImage(item.rect.topLeft(), *image);
}

} // namespace korvel::admin
