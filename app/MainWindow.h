#pragma once

#include <QMainWindow>

QT_BEGIN_NAMESPACE
class Ui_MainWindow;
QT_END_NAMESPACE

namespace Hvd::Weft::Components
{
class LocalizedFileOpener;
}

// The program's only top-level window: fixed size, Info and Help actions,
// geometry and tool-bar state remembered between runs.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    static constexpr const char* uiGroup = "Ui/";
    static constexpr const char* windowGeometryKey = "Geometry";
    static constexpr const char* windowStateKey = "State";
    static constexpr const char* windowTitleText = "OrvikRescaler V1.1.0 (260819)";
    static constexpr const char* helpBaseName = "OrvikRescaler";
    static constexpr const char* helpExtension = ".pdf";

    explicit MainWindow(Hvd::Weft::Components::LocalizedFileOpener& opener);
    ~MainWindow() override;

private Q_SLOTS:
    void showHelp();

private:
    void restoreWindowSettings();
    void saveWindowSettings();
    QString settingsKey(const char* key) const;

    Ui_MainWindow* ui;
    Hvd::Weft::Components::LocalizedFileOpener& opener;
};
