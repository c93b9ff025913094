// Context help, the command helper and the flat style.
#include "admin/common/Command.h"
#include "admin/common/Help.h"
#include "admin/common/HelpFile.h"
#include "engine/wire/EngineError.h"
#include "styling/FlatPalette.h"
#include "styling/FlatStyle.h"
#include "testing/admin/ScriptedDialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QIcon>
#include <QLineEdit>
#include <QMenu>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>
#include <QWhatsThis>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <stdexcept>

namespace korvel::test
{
namespace
{

TEST(HelpTest, ShippedHelpFileHasAUsefulTopicForEveryContextNumber)
{
    admin::HelpFile help = admin::HelpFile::Load(KORVEL_HELP_FILE);
    for (int context = 0; context <= 85; ++context)
    {
        EXPECT_TRUE(help.Contains(context)) << context;
        EXPECT_FALSE(help.Topic(context).Title.isEmpty()) << context;
        EXPECT_GE(help.Topic(context).Text.size(), 40) << "topic " << context << " says too little";
    }
    EXPECT_EQ(help.Topic(29).Title, "Deny New Connections");
}

TEST(HelpTest, TopicsParseIntoTitleParagraphsAndPopupText)
{
    admin::HelpFile help =
        admin::HelpFile::Parse("# comment\n[3]\nTitle <3>\nfirst line\ncontinued\n\nsecond\n"
                               "[12]\nOther\ntext\n");
    EXPECT_EQ(help.TopicCount(), 2);
    EXPECT_EQ(help.Topic(3).Text, "first line\ncontinued\n\nsecond");
    EXPECT_EQ(help.PopupText(3), "<b>Title &lt;3&gt;</b><p>first line continued</p><p>second</p>");
    EXPECT_EQ(help.PopupText(4), "");
    EXPECT_EQ(admin::HelpFile::Load("/no/such/file.hlp").TopicCount(), 0);

    admin::RegisterHelpFile(KORVEL_HELP_FILE);
    QPushButton button;
    admin::SetHelpContext(&button, 26);
    EXPECT_EQ(button.property("helpContext").toInt(), 26);
    EXPECT_TRUE(button.whatsThis().contains("<b>Refresh</b>"));
    EXPECT_EQ(button.contextMenuPolicy(), Qt::CustomContextMenu) << "the What's This ? pop-up menu";
}

TEST(HelpTest, WhatsThisMenuShowsTheTopicOfTheControlsNumber)
{
    admin::RegisterHelpFile(KORVEL_HELP_FILE);
    QPushButton button("&Refresh");
    admin::SetHelpContext(&button, 26);
    button.show();
    QString menuItem;
    QTimer::singleShot(0,
                       [&]
                       {
                           auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
                           ASSERT_NE(menu, nullptr);
                           QAction* whatsThis = menu->findChild<QAction*>("WhatsThisItem");
                           ASSERT_NE(whatsThis, nullptr);
                           menuItem = whatsThis->text();
                           menu->setActiveAction(whatsThis);
                           QTest::keyClick(menu, Qt::Key_Return);
                       });
    emit button.customContextMenuRequested(QPoint(5, 5));
    EXPECT_EQ(menuItem, "What's This ?");
    bool popupShown = false;
    for (QWidget* widget : QApplication::topLevelWidgets())
        popupShown |= widget->inherits("QWhatsThat") && widget->isVisible();
    EXPECT_TRUE(popupShown);
    QWhatsThis::hideText();
}

TEST(HelpTest, TextFieldsOfferTheStandardEditEntriesAboveWhatsThis)
{
    QLineEdit edit("some text");
    QPlainTextEdit memo("more text");
    QPushButton button("OK");
    for (QWidget* widget : std::initializer_list<QWidget*>{&edit, &memo, &button})
    {
        admin::SetHelpContext(widget, 26);
        widget->show();
        QStringList entries;
        QTimer::singleShot(0,
                           [&]
                           {
                               auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
                               ASSERT_NE(menu, nullptr);
                               for (QAction* action : menu->actions())
                                   entries << (action->isSeparator() ? "-" : action->text());
                               menu->close();
                           });
        emit widget->customContextMenuRequested(QPoint(5, 5));
        ASSERT_FALSE(entries.isEmpty());
        EXPECT_EQ(entries.last(), "What's This ?");
        if (widget == &button)
        {
            EXPECT_EQ(entries.size(), 1) << "a button has only What's This ?";
            continue;
        }
        const QString all = entries.join('|');
        EXPECT_TRUE(all.contains("Copy")) << all.toStdString();
        EXPECT_TRUE(all.contains("Paste")) << all.toStdString();
        EXPECT_TRUE(all.contains("Select All")) << all.toStdString();
        ASSERT_GE(entries.size(), 3);
        EXPECT_EQ(entries[entries.size() - 2], "-") << "a separator before What's This ?";
    }
}

TEST(CommandTest, ErrorsAreShownExceptTheSilentCancellationAndTheCursorIsRestored)
{
    QWidget window;
    ScriptedDialogs dialogs(window);
    EXPECT_TRUE(admin::RunCommand(&window, []
                                  { EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor); }));
    EXPECT_FALSE(admin::RunCommand(&window, [] { throw std::runtime_error("Disk full"); }));
    EXPECT_FALSE(admin::RunCommand(&window, [] { throw EAbort(); }));
    EXPECT_FALSE(admin::RunCommand(&window, [] { throw 42; }));
    EXPECT_EQ(dialogs.Errors(), (QStringList{"Disk full", "An unexpected error occurred"}));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

QImage Render(QWidget& widget, QStyle* style)
{
    widget.setStyle(style);
    widget.resize(120, 28);
    return widget.grab().toImage();
}

TEST(StyleTest, FlatStyleChangesControlsButLeavesTag999Untouched)
{
    auto flat = std::make_unique<styling::FlatStyle>();
    std::unique_ptr<QStyle> fusion(QStyleFactory::create("Fusion"));
    const std::function<std::unique_ptr<QWidget>()> controls[] = {
        [] { return std::make_unique<QPushButton>("OK"); },
        [] { return std::make_unique<QLineEdit>(); },
        [] { return std::make_unique<QScrollBar>(Qt::Horizontal); },
    };
    for (const auto& make : controls)
    {
        const std::unique_ptr<QWidget> styled = make();
        const std::unique_ptr<QWidget> untouched = make();
        untouched->setProperty("tag", styling::UnstyledTag);
        SCOPED_TRACE(styled->metaObject()->className());
        EXPECT_NE(Render(*styled, flat.get()), Render(*styled, fusion.get())) << "the flat look differs";
        EXPECT_EQ(Render(*untouched, flat.get()), Render(*untouched, fusion.get()))
            << "tag 999 keeps the plain look";
    }
}

// The flat frames lie whole inside their widget at any pixel ratio: the outermost device pixels are the
// border, the next ones the fill; inside a group box that is the window's own colour.
TEST(StyleTest, FlatFramesLieWholeInsideTheirWidgetAtEveryPixelRatio)
{
    styling::FlatStyle flat;
    QLineEdit edit;
    QGroupBox box(QStringLiteral("Title"));
    const QPalette palette = QApplication::palette();
    for (const qreal ratio : {1.0, 2.0})
        for (const auto& [widget, fill] : {std::pair<QWidget*, QPalette::ColorRole>{&edit, QPalette::Base},
                                           std::pair<QWidget*, QPalette::ColorRole>{&box, QPalette::Window}})
        {
            widget->setStyle(&flat);
            widget->resize(120, 60);
            QImage picture((QSizeF(widget->size()) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
            picture.setDevicePixelRatio(ratio);
            widget->render(&picture);
            const int right = picture.width() - 1, y = picture.height() * 3 / 4;
            EXPECT_EQ(picture.pixel(right, y), styling::BorderColour(palette).rgba()) << ratio;
            EXPECT_EQ(picture.pixel(right - int(ratio), y), palette.color(fill).rgba()) << ratio;
        }
}

// The picture of `widget` with and without the keyboard focus; `other` takes it away.
std::pair<QImage, QImage> FocusedAndNot(QWidget& widget, QWidget& other)
{
    other.setFocus();
    QImage unfocused = widget.grab().toImage();
    widget.setFocus();
    EXPECT_TRUE(widget.hasFocus()) << widget.metaObject()->className();
    QImage focused = widget.grab().toImage();
    return {focused, unfocused};
}

TEST(StyleTest, KeyboardFocusIsVisibleOnEveryFlatControl)
{
    styling::FlatStyle flat;
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* checkBox = new QCheckBox("Enable Tracing", &window);
    auto* radio = new QRadioButton("LAN", &window);
    auto* button = new QPushButton("OK", &window);
    auto* edit = new QLineEdit("text", &window);
    auto* other = new QPushButton("Other", &window);
    for (QWidget* widget : std::initializer_list<QWidget*>{&window, checkBox, radio, button, edit, other})
        widget->setStyle(&flat);
    for (QWidget* widget : std::initializer_list<QWidget*>{checkBox, radio, button, edit, other})
        layout->addWidget(widget);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    for (QWidget* widget : std::initializer_list<QWidget*>{checkBox, radio, button, edit})
    {
        auto [focused, unfocused] = FocusedAndNot(*widget, *other);
        EXPECT_NE(focused, unfocused) << widget->metaObject()->className() << " shows no focus";
    }
}

TEST(StyleTest, FlatStyleKeepsTheDesktopsColours)
{
    const QPalette original = QApplication::palette();
    const QString originalStyle = QApplication::style()->name();
    QPalette desktop = original;
    desktop.setColor(QPalette::Window, QColor(40, 44, 52)); // a dark theme
    desktop.setColor(QPalette::Base, QColor(30, 30, 30));
    desktop.setColor(QPalette::Text, QColor(220, 220, 220));
    desktop.setColor(QPalette::Button, QColor(60, 64, 72));
    QApplication::setPalette(desktop);

    styling::ApplyFlatStyle(*qApp);
    const QPalette applied = QApplication::palette();
    for (QPalette::ColorRole role : {QPalette::Window, QPalette::Base, QPalette::Text, QPalette::Button})
        EXPECT_EQ(applied.color(role), desktop.color(role)) << role;
    QLineEdit edit;
    edit.resize(120, 28);
    const QImage picture = edit.grab().toImage();
    EXPECT_EQ(picture.pixelColor(60, 14), QColor(30, 30, 30)) << "the field is drawn in the desktop's colour";

    QApplication::setStyle(QStyleFactory::create(originalStyle));
    QApplication::setPalette(original);
}

// A small icon theme in `dir` with every standard name except `missing`, each icon one plain red square.
void WriteIconTheme(const QString& dir, const char* missing)
{
    QDir(dir).mkpath("test-theme/16x16/actions");
    QFile index(dir + "/test-theme/index.theme");
    ASSERT_TRUE(index.open(QIODevice::WriteOnly));
    index.write("[Icon Theme]\nName=test-theme\nDirectories=16x16/actions\n\n[16x16/actions]\nSize=16\n");
    index.close();
    QPixmap square(16, 16);
    square.fill(Qt::red);
    for (QStyle::StandardPixmap icon :
         {QStyle::SP_MessageBoxInformation, QStyle::SP_MessageBoxWarning, QStyle::SP_MessageBoxCritical,
          QStyle::SP_MessageBoxQuestion, QStyle::SP_DialogOkButton, QStyle::SP_DialogCancelButton,
          QStyle::SP_DialogCloseButton, QStyle::SP_DialogSaveButton})
        if (QString(styling::ThemeIconName(icon)) != missing)
            square.save(dir + "/test-theme/16x16/actions/" + styling::ThemeIconName(icon) + ".png");
}

TEST(StyleTest, StandardIconsComeAllFromTheThemeOrAllBuiltIn)
{
    std::unique_ptr<QStyle> fusion(QStyleFactory::create("Fusion"));
    const QStringList searchPaths = QIcon::themeSearchPaths();
    const QString themeName = QIcon::themeName();
    auto redPixels = [](const QIcon& icon)
    { return icon.pixmap(16, 16).toImage().pixelColor(8, 8) == Qt::red; };
    const QList<QStyle::StandardPixmap> icons = {QStyle::SP_MessageBoxWarning, QStyle::SP_MessageBoxCritical,
                                                 QStyle::SP_DialogOkButton};
    for (const char* missing : {"", "dialog-warning"})
    {
        SCOPED_TRACE(missing);
        QTemporaryDir dir;
        WriteIconTheme(dir.path(), missing);
        QIcon::setThemeSearchPaths({dir.path()});
        QIcon::setThemeName("test-theme");
        styling::FlatStyle flat;
        for (QStyle::StandardPixmap icon : icons)
        {
            const QIcon shown = flat.standardIcon(icon);
            if (*missing == '\0')
                EXPECT_TRUE(redPixels(shown)) << "the complete theme is used for " << int(icon);
            else
                EXPECT_EQ(shown.pixmap(16, 16).toImage(), fusion->standardIcon(icon).pixmap(16, 16).toImage())
                    << "a theme lacking one icon is used for none, here " << int(icon);
        }
    }
    QIcon::setThemeSearchPaths(searchPaths);
    QIcon::setThemeName(themeName);
}

} // namespace
} // namespace korvel::test
