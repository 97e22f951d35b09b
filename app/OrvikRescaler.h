#pragma once

#include "communication/QtComPortScanner.h"
#include "components/logging/Application.h"

// The program: logging, translation, the long-lived objects and the main
// window, in a fixed order of creation and destruction.
class OrvikRescaler : public Hvd::Weft::Components::Application
{
    Q_OBJECT

public:
    static constexpr const char* applicationNameText = "OrvikRescaler";
    static constexpr const char* translationDirectory = "translations";
    static constexpr std::size_t logFileMaxSize = 10485760;
    static constexpr std::size_t logFileCount = 2;
    // What start() returns when a termination signal ended the program.
    static constexpr int terminatedReturnCode = 1;

    OrvikRescaler(int& argc, char** argv);

    // Runs the whole program and returns the event loop's exit code.
    int start();

    // Replaces the system's port list (a simulated sensor's line, in tests).
    void setPortLister(Hvd::Weft::Communication::QtComPortScanner::Lister lister)
    {
        portLister = std::move(lister);
    }

private:
    Hvd::Weft::Communication::QtComPortScanner::Lister portLister =
        &Hvd::Weft::Communication::QtComPortScanner::systemPorts;
};
