#pragma once

#include "components/ProductVersion.h"
#include "components/widgets/CopyrightDialog.h"

#include <QMainWindow>

QT_BEGIN_NAMESPACE
class Ui_MainWindow;
QT_END_NAMESPACE

namespace Hvd::Weft::Components
{
class DeviceStack;
class LocalizedFileOpener;
} // namespace Hvd::Weft::Components

// The program's only top-level window: fixed size, Info and Help actions,
// geometry and tool-bar state remembered between runs, the rescaler as its
// central widget, on the program's device stack. It keeps one About dialog,
// which Info opens.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    static constexpr const char* uiGroup = "Ui/";
    static constexpr const char* windowGeometryKey = "Geometry";
    static constexpr const char* windowStateKey = "State";
    static constexpr const char* windowTitleText = Hvd::Weft::Components::ProductVersion::windowTitle.data();
    static constexpr const char* helpBaseName = "OrvikRescaler";
    static constexpr const char* helpExtension = ".pdf";

    MainWindow(Hvd::Weft::Components::DeviceStack& stack, Hvd::Weft::Components::LocalizedFileOpener& opener);
    ~MainWindow() override;

private Q_SLOTS:
    void showHelp();
    void showCopyright();

private:
    void restoreWindowSettings();
    void saveWindowSettings();
    QString settingsKey(const char* key) const;

    Ui_MainWindow* ui;
    Hvd::Weft::Components::CopyrightDialog copyrightDialog;
    Hvd::Weft::Components::LocalizedFileOpener& opener;
};
