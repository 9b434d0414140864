#include "app/composer/ComposerView.h"

#include "app/common/Commands.h"
#include "app/common/UiText.h"
#include "app/composer/ComposerCommands.h"
#include "composer/Composer.h"
#include "composer/Formula.h"
#include "framework/StringTable.h"
#include "framework/TextIds.h"
#include "framework/Trace.h"
#include "model/Document.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QStaticText>
#include <algorithm>
#include <map>
#include <set>
#include <unordered_map>

namespace korvex {

namespace {

const char32_t GlyphChars[4] = {U'\u2229', U'\u222A', U'\u2295', U'\u21D0'}; // ∩ ∪ ⊕ ⇐
const char* const AsciiGlyphs[4] = {"&", "|", "^", "="};

size_t GlyphSlot(uint32_t kind) {
    return kind == ComposerItem::And ? 0 : kind == ComposerItem::Or ? 1 : kind == ComposerItem::Xor ? 2 : 3;
}

// Limits of the off-screen picture: the raster painter's coordinate range
// and 128 MB of pixels.
constexpr int MaxPictureSide = 32767;
constexpr int64_t MaxPicturePixels = int64_t(32) * 1024 * 1024;

// 16 bits a pixel: the picture holds only a few flat colours and small
// text, and half the bytes make the full clear of every layout (the bulk of
// its time for a tall picture) half as long.
constexpr QImage::Format PictureFormat = QImage::Format_RGB16;

uint16_t Pixel(const QColor& c) {
    return uint16_t((c.red() >> 3) << 11 | (c.green() >> 2) << 5 | (c.blue() >> 3));
}

const QColor SelectedColour(0, 0, 255);
const QColor GreyColour(128, 128, 128);
const QColor RedColour(255, 0, 0);

} // namespace

// Text sizes and fonts of the picture: the view's own font for leaves, a
// small font for the blur/blank notes, and for the operator signs the first
// font of a plain desktop that has all four of them, else ASCII signs.
class ComposerView::Measure : public TextMeasure {
public:
    explicit Measure(const QFont& viewFont) : main(viewFont), note(viewFont), glyph(viewFont) {
        note.setPixelSize(10);
        glyph.setPixelSize(20);
        glyph.setWeight(QFont::Medium);
        const QStringList families = QFontDatabase::families();
        for (const char* candidate : {"DejaVu Sans", "Noto Sans Math", "Noto Sans Symbols", "FreeSerif",
                                      "Liberation Serif", "Symbola"}) {
            if (!families.contains(QString::fromLatin1(candidate)))
                continue;
            QFont f(QString::fromLatin1(candidate));
            f.setPixelSize(20);
            f.setWeight(QFont::Medium);
            if (HasAllGlyphs(f)) {
                glyph = f;
                glyphFamily = f.family();
                break;
            }
        }
        if (glyphFamily.isEmpty()) {
            if (HasAllGlyphs(glyph))
                glyphFamily = glyph.family();
            else
                ascii = true;
        }
        QFontMetrics gm(glyph);
        for (size_t i = 0; i < 4; ++i) {
            signs[i] = ascii ? QString::fromLatin1(AsciiGlyphs[i]) : QString::fromUcs4(&GlyphChars[i], 1);
            glyphSizes[i] = {gm.horizontalAdvance(signs[i]), gm.height()};
            preparedSigns[i].text.setText(signs[i]);
            preparedSigns[i].text.setTextFormat(Qt::PlainText);
            preparedSigns[i].text.prepare(QTransform(), glyph);
            preparedSigns[i].width = glyphSizes[i].width;
        }
    }

    // A text laid out once, drawn many times.
    struct Prepared {
        QStaticText text;
        int width = 0;
    };
    const Prepared& Prepare(bool isMain, const std::string& text) {
        auto& cache = isMain ? mainTexts : noteTexts;
        auto it = cache.find(text);
        if (it == cache.end()) {
            Prepared p;
            p.text.setText(QString::fromStdString(text));
            p.text.setTextFormat(Qt::PlainText);
            p.text.setPerformanceHint(QStaticText::AggressiveCaching);
            p.text.prepare(QTransform(), isMain ? main : note);
            p.width = int(p.text.size().width());
            it = cache.emplace(text, std::move(p)).first;
        }
        return it->second;
    }
    const Prepared& Sign(uint32_t kind) const { return preparedSigns[GlyphSlot(kind)]; }

    LayoutSize MainText(const std::string& text) const override { return Cached(mainSizes, main, text); }
    LayoutSize NoteText(const std::string& text) const override { return Cached(noteSizes, note, text); }
    LayoutSize Glyph(uint32_t kind) const override { return glyphSizes[GlyphSlot(kind)]; }

    QFont main, note, glyph;
    QString glyphFamily;
    QString signs[4];

private:
    static bool HasAllGlyphs(const QFont& f) {
        QFontMetrics m(f);
        for (char32_t c : GlyphChars)
            if (!m.inFontUcs4(c))
                return false;
        return true;
    }
    static LayoutSize Cached(std::unordered_map<std::string, LayoutSize>& cache, const QFont& font,
                             const std::string& text) {
        auto it = cache.find(text);
        if (it != cache.end())
            return it->second;
        QFontMetrics m(font);
        // Measured as a box of text (from a 100 x 100 start), so multi-line
        // texts of a translation still fit.
        QRect r =
            m.boundingRect(QRect(0, 0, 100, 100), Qt::AlignLeft | Qt::AlignTop, QString::fromStdString(text));
        LayoutSize size{std::max(r.width(), 0), std::max(r.height(), m.height())};
        cache.emplace(text, size);
        return size;
    }

    bool ascii = false;
    LayoutSize glyphSizes[4];
    Prepared preparedSigns[4];
    std::unordered_map<std::string, Prepared> mainTexts, noteTexts;
    mutable std::unordered_map<std::string, LayoutSize> mainSizes, noteSizes;
};

ComposerView::ComposerView(QWidget* parent) : QWidget(parent), measure(std::make_unique<Measure>(font())) {
    setObjectName(QStringLiteral("composerView"));
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setCursor(Qt::ArrowCursor);
    resize(8, 4);
}

ComposerView::~ComposerView() = default;

void ComposerView::Attach(Document* doc, std::function<uint32_t()> card) {
    document = doc;
    activeCard = std::move(card);
    Layout();
}

QString ComposerView::GlyphFamily() const {
    return measure->glyphFamily;
}

void ComposerView::Layout() {
    if (!document)
        return;
    unsigned start = TickCountMs();
    ComposerTexts texts{LoadTextA(text::composer_unused), LoadTextA(text::composer_blur),
                        LoadTextA(text::composer_blank)};
    steps = LayoutComposer(document->Current(), document->Selected(), *measure, texts);
    Render();
    ++layouts;
    Trace("%s: %ums\n", "ComposerView::Invalidate", TickCountMs() - start);
    if (size() != picture.size())
        resize(picture.size());
    update();
}

void ComposerView::Render() {
    // A row from a file can be far wider or taller than any screen; the
    // picture is cut to what the painter and the memory can hold (the boxes
    // of the layout stay whole, so hit testing is not affected).
    int wanted = std::clamp(steps.width, 1, MaxPictureSide);
    int tall = std::clamp(steps.height, 1, MaxPictureSide);
    if (int64_t(wanted) * tall > MaxPicturePixels)
        tall = int(MaxPicturePixels / wanted);
    // The same size as last time reuses the image's memory.
    if (picture.width() != wanted || picture.height() != tall)
        picture = QImage(wanted, tall, PictureFormat);
    if (picture.isNull()) // out of memory: an empty picture, drawn later
        return;
    picture.fill(Qt::white);
    // The picture starts white, so only red leaves are filled. Fills and
    // 1-pixel frames are written straight into the image's rows (thousands
    // of them per layout; the painter's general path costs far more), then
    // the texts are drawn by font, each text laid out once and kept.
    const int width = picture.width(), height = picture.height();
    const qsizetype stride = picture.bytesPerLine() / 2;
    auto* pixels = reinterpret_cast<uint16_t*>(picture.bits());
    auto span = [&](int x0, int x1, int y, uint16_t colour) {
        x0 = std::max(x0, 0);
        x1 = std::min(x1, width);
        if (y >= 0 && y < height && x0 < x1)
            std::fill(pixels + qsizetype(y) * stride + x0, pixels + qsizetype(y) * stride + x1, colour);
    };
    const uint16_t red = Pixel(RedColour), grey = Pixel(GreyColour), blue = Pixel(SelectedColour);
    for (const ComposerPaint& step : steps.steps) {
        if (step.kind != ComposerPaint::Box)
            continue;
        const ComposerBox& b = step.rect;
        if (b.right <= b.left || b.bottom <= b.top)
            continue;
        if (step.red)
            for (int y = b.top; y < b.bottom; ++y)
                span(b.left, b.right, y, red);
        if (step.frame == ComposerPaint::NoFrame)
            continue;
        uint16_t colour = step.frame == ComposerPaint::SelectedFrame ? blue : grey;
        span(b.left, b.right, b.top, colour);
        span(b.left, b.right, b.bottom - 1, colour);
        // The two sides, clipped once for the whole column.
        int y0 = std::max(b.top + 1, 0), y1 = std::min(b.bottom - 1, height);
        for (int x : {b.left, b.right - 1}) {
            if (x < 0 || x >= width)
                continue;
            uint16_t* p = pixels + qsizetype(y0) * stride + x;
            for (int y = y0; y < y1; ++y, p += stride)
                *p = colour;
        }
    }

    QPainter painter(&picture);
    const QColor black(Qt::black), white(Qt::white);
    for (ComposerPaint::Kind kind :
         {ComposerPaint::MainText, ComposerPaint::NoteText, ComposerPaint::Glyph}) {
        painter.setFont(kind == ComposerPaint::MainText   ? measure->main
                        : kind == ComposerPaint::NoteText ? measure->note
                                                          : measure->glyph);
        bool whitePen = false;
        painter.setPen(black);
        for (const ComposerPaint& step : steps.steps) {
            if (step.kind != kind)
                continue;
            if (step.red != whitePen) {
                whitePen = step.red;
                painter.setPen(whitePen ? white : black);
            }
            if (kind == ComposerPaint::Glyph) {
                const Measure::Prepared& sign = measure->Sign(step.glyph);
                // Centred in the sign's box.
                int x = step.rect.left + (step.rect.right - step.rect.left - sign.width) / 2;
                painter.drawStaticText(x, step.rect.top, sign.text);
            } else {
                painter.drawStaticText(step.rect.left, step.rect.top,
                                       measure->Prepare(kind == ComposerPaint::MainText, step.text).text);
            }
        }
    }
}

void ComposerView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (picture.isNull()) {
        painter.fillRect(rect(), Qt::white);
        return;
    }
    painter.drawImage(0, 0, picture);
    if (width() > picture.width())
        painter.fillRect(picture.width(), 0, width() - picture.width(), height(), Qt::white);
    if (height() > picture.height())
        painter.fillRect(0, picture.height(), picture.width(), height() - picture.height(), Qt::white);
}

void ComposerView::SetSelection(const std::string& selection) {
    if (selection == document->ComposerPath())
        return;
    // Selecting is not an edit: the history stays as it is.
    document->SelectComposerItem(selection);
    Layout();
    Q_EMIT SelectionChanged();
}

void ComposerView::Edited() {
    if (!deferLayout)
        Layout();
    Q_EMIT DocumentEdited();
}

bool ComposerView::Select(int x, int y) {
    if (!document)
        return false;
    std::string before = document->ComposerPath();
    SetSelection(SelectionAt(steps.placed, x, y));
    return before != document->ComposerPath();
}

bool ComposerView::PutDetector(int x, int y) {
    if (!document)
        return false;
    // Either the node at (x, y) takes the detector and becomes the
    // selection in one step, or nothing changes.
    if (!PutSelectedDetector(*document, SelectionAt(steps.placed, x, y)))
        return false;
    Edited();
    return true;
}

bool ComposerView::Command(unsigned id) {
    const std::optional<ComposerOp> op = ComposerOpOfCommand(id);
    return op && ApplyOp(*op);
}

bool ComposerView::ApplyOp(const ComposerOp& op) {
    if (!document || !ApplyComposerOp(*document, op))
        return false;
    Edited();
    return true;
}

std::unique_ptr<QMenu> ComposerView::BuildContextMenu() {
    if (!document)
        return nullptr;
    const RenderState& state = document->Current();
    const ComposerItem* selected = NodeAt(state, document->ComposerPath());
    if (!selected)
        return nullptr;
    const ComposerItem& node = *selected;
    auto menu = std::make_unique<QMenu>(this);
    menu->setObjectName(QStringLiteral("composerMenu"));
    auto add = [this](QMenu* into, QAction* before, const QString& text, unsigned id, bool checked) {
        QAction* action = new QAction(text, into);
        action->setData(id);
        action->setCheckable(true);
        action->setChecked(checked);
        connect(action, &QAction::triggered, this, [this, id] { Command(id); });
        into->insertAction(before, action);
        return action;
    };
    // The menu's own items; the rest goes in before the first of them.
    QAction* orItem =
        add(menu.get(), nullptr, Text(text::composer_op_or), CmdOr, node.kind == ComposerItem::Or);
    add(menu.get(), nullptr, Text(text::composer_op_and), CmdAnd, node.kind == ComposerItem::And);
    add(menu.get(), nullptr, Text(text::composer_op_xor), CmdXor, node.kind == ComposerItem::Xor);
    menu->addSeparator();
    add(menu.get(), nullptr, Text(text::composer_op_never), CmdZero, node.kind == ComposerItem::Zero);
    add(menu.get(), nullptr, Text(text::composer_op_always), CmdOne, node.kind == ComposerItem::One);
    menu->addSeparator();
    add(menu.get(), nullptr, Text(text::composer_reset_row), CmdResetRow, false)->setCheckable(false);

    // Detector inputs: the active card's straight in the menu, every other
    // card's in a submenu "B..." made with its first item.
    std::set<uint32_t> numbers[8];
    for (const Detector& d : state.detectors)
        if (d.card < 8 && d.number >= 1 && d.number <= 32)
            numbers[d.card].insert(d.number);
    const Detector* current = document->SelectedDetector();
    uint32_t active = activeCard ? activeCard() : 0;
    for (uint32_t card = 0; card < 8; ++card) {
        QMenu* into = menu.get();
        QAction* before = orItem;
        if (card != active && !numbers[card].empty()) {
            into = new QMenu(QString(QChar('A' + card)) + QStringLiteral("..."), menu.get());
            menu->insertMenu(orItem, into);
            before = nullptr;
        }
        for (uint32_t n : numbers[card]) {
            unsigned id = CmdInputFirst + kComposerMenuInputsPerCard * card + (n - 1);
            bool checked = node.kind == InputKindOfCard(card) && node.number == int32_t(n);
            QAction* item = add(into, before, QString(QChar('A' + card)) + QString::number(n), id, checked);
            if (current && current->card == card && current->number == n)
                into->setDefaultAction(item);
        }
    }
    // Blur and blank conditions, one item per camera of the project.
    for (bool blur : {true, false}) {
        QMenu* sub =
            new QMenu(Text(blur ? text::composer_blurred_picture : text::composer_blank_picture), menu.get());
        sub->setObjectName(blur ? QStringLiteral("blurMenu") : QStringLiteral("blankMenu"));
        for (size_t card = 0; card < state.backgrounds.size() && card < 8; ++card) {
            uint32_t kind = blur ? ComposerItem::Blur : ComposerItem::Blank;
            add(sub, nullptr, QString(QChar(char('A' + card))),
                (blur ? CmdBlurFirst : CmdBlankFirst) + unsigned(card),
                node.kind == kind && node.number == int32_t(card));
        }
        menu->insertMenu(orItem, sub);
    }
    const std::string& path = document->ComposerPath();
    if (path.size() == 3 && path[0] == 'Z')
        add(menu.get(), orItem, Text(text::composer_unused), CmdEmpty, node.kind == ComposerItem::Empty);
    menu->insertSeparator(orItem);
    return menu;
}

void ComposerView::mousePressEvent(QMouseEvent* event) {
    setFocus(Qt::MouseFocusReason);
    QPoint p = event->position().toPoint();
    if (event->button() == Qt::LeftButton) {
        Select(p.x(), p.y());
    } else if (event->button() == Qt::RightButton) {
        Select(p.x(), p.y());
        if (std::unique_ptr<QMenu> menu = BuildContextMenu())
            menu->exec(event->globalPosition().toPoint());
    }
}

void ComposerView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        QPoint p = event->position().toPoint();
        PutDetector(p.x(), p.y());
    }
}

bool ComposerView::event(QEvent* event) {
    // The window's own shortcuts (Delete removes a detector) must not take
    // the keys this view edits with while it has the focus.
    if (event->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(event);
        bool plain = !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
        switch (key->key()) {
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_Delete:
        case Qt::Key_Backspace:
        case Qt::Key_Escape:
            if (plain) {
                event->accept();
                return true;
            }
            break;
        default:
            if (plain && !key->text().isEmpty() && key->text()[0].isPrint()) {
                event->accept();
                return true;
            }
        }
    }
    return QWidget::event(event);
}

void ComposerView::keyPressEvent(QKeyEvent* event) {
    if (!document) {
        QWidget::keyPressEvent(event);
        return;
    }
    const RenderState& state = document->Current();
    const std::string& selection = document->ComposerPath();
    switch (event->key()) {
    case Qt::Key_Left:
        SetSelection(MovedSelection(state, selection, SelectionMove::Left));
        return;
    case Qt::Key_Right:
        SetSelection(MovedSelection(state, selection, SelectionMove::Right));
        return;
    case Qt::Key_Up:
        SetSelection(MovedSelection(state, selection, SelectionMove::Up));
        return;
    case Qt::Key_Down:
        SetSelection(MovedSelection(state, selection, SelectionMove::Down));
        return;
    case Qt::Key_Delete:
    case Qt::Key_Backspace:
        if (std::optional<ComposerOp> op = ResetOpForSelection(state, selection))
            ApplyOp(*op);
        return;
    case Qt::Key_Escape:
        SetSelection({});
        return;
    default:
        break;
    }
    QString text = event->text();
    if (text == QStringLiteral("&")) {
        ApplyOp({ComposerOpKind::And});
    } else if (text == QStringLiteral("|")) {
        ApplyOp({ComposerOpKind::Or});
    } else if (text == QStringLiteral("^")) {
        ApplyOp({ComposerOpKind::Xor});
    } else if (text.size() == 1 && (text[0].isLetterOrNumber() || text[0] == QChar('(')) &&
               !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        if (!RowOfSelection(state, selection))
            SetSelection(MovedSelection(state, selection, SelectionMove::Down));
        Q_EMIT TypingStarted(text);
    } else {
        QWidget::keyPressEvent(event);
    }
}

} // namespace korvex
