#pragma once

#include <QApplication>
#include <QtGlobal>

#include <array>

class QTranslator;

namespace Hvd::Weft::Components
{

// Qt message handler that routes Qt's own messages into the program log and
// then hands them on to the handler installed before it.
void logToLogger(QtMsgType type, const QMessageLogContext& context, const QString& message);

// Application base: organization and application names, the GUI thread's
// name, the message handler, the widget style, translation, and the policy
// for exceptions that escape an event handler (log in full, then end).
class Application : public QApplication
{
    Q_OBJECT

public:
    static constexpr const char* organizationNameText = "Halvard GmbH";
    static constexpr const char* organizationDomainText = "halvard.example";
    static constexpr const char* mainThreadName = "main";
    static constexpr const char* styleName = "fusion";

    Application(int& argc, char** argv, const char* applicationName);
    ~Application() override;

    void setupTranslator(const char* name, const char* directory);
    // Installs the catalogue `name` that a library embeds under
    // embeddedTranslationDirectory, for the system locale. A missing one is
    // logged and the library's texts stay English; under an English locale
    // none is looked for. The translator belongs to
    // the application object; nullptr when none was installed.
    static QTranslator* installEmbeddedTranslator(const char* name);
    static constexpr const char* embeddedTranslationDirectory = ":/translations";
    // The catalogues the component and communication libraries embed: every
    // program that shows their texts installs them beside its own.
    static constexpr std::array<const char*, 2> libraryCatalogues = {"OrvikComponents", "OrvikCommunication"};
    // Installs each of them; returns how many were installed.
    static int installLibraryCatalogues();

    bool notify(QObject* receiver, QEvent* event) override;

    // The handler that was current before logToLogger was installed.
    static QtMessageHandler previousMessageHandler() { return mPreviousHandler; }

private:
    // Qt's handler is a plain function pointer, so the chained handler has to
    // be reachable without an instance.
    static inline QtMessageHandler mPreviousHandler = nullptr;

    friend void logToLogger(QtMsgType, const QMessageLogContext&, const QString&);
};

} // namespace Hvd::Weft::Components
