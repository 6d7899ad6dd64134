// singleinstance-probe FOLDER [--defer-handler] [FILE...]
//
// Starts the single-instance layer the way the application does (before the application object
// exists), with the lock under FOLDER and the user defaults in FOLDER/defaults.conf, and its
// FILEs as the launch request. Prints to standard output, one line each:
//   result run | result alreadyRunning | result failed <error>
//   enforcing 1 | enforcing 0                     (run only)
//   requests <count>, then "request <json>" per request, then "end"   (each handler call)
//   pending 1 | pending 0                         (answer to "status")
// A running probe reads commands from standard input: "install" installs the duplicate-launch
// handler (installed at once unless --defer-handler), "status", "quit". End of input quits.

#include "DuplicateLaunchRequest.h"
#include "SingleInstanceConfiguration.h"
#include "SingleInstanceController.h"
#include "SingleInstanceStartupResult.h"
#include "UserDefaults.h"

#include <QCoreApplication>
#include <QDir>
#include <QSocketNotifier>
#include <cstdio>
#include <unistd.h>

namespace {

void say(const QByteArray& line)
{
    std::fputs((line + '\n').constData(), stdout);
    std::fflush(stdout);
}

void installHandler(SingleInstanceController& controller)
{
    controller.setDuplicateLaunchHandler([](const QList<DuplicateLaunchRequest>& requests) {
        say("requests " + QByteArray::number(requests.size()));
        for (const DuplicateLaunchRequest& request : requests) {
            say("request " + request.toJson().value_or(QByteArray()));
        }
        say("end");
    });
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc < 2) {
        std::fputs("usage: singleinstance-probe FOLDER [--defer-handler] [FILE...]\n", stderr);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    bool defersHandler = false;
    DuplicateLaunchRequest request{{}, {}, QDateTime::currentDateTimeUtc()};
    for (int index = 2; index < argc; ++index) {
        const QString argument = QString::fromLocal8Bit(argv[index]);
        if (argument == QStringLiteral("--defer-handler")) {
            defersHandler = true;
        } else {
            request.arguments.append(argument);
            request.fileURLs.append(
                QUrl::fromLocalFile(QDir::current().absoluteFilePath(argument)));
        }
    }

    UserDefaults defaults(QDir(folder).filePath(QStringLiteral("defaults.conf")));
    const SingleInstanceConfiguration configuration(
        QStringLiteral("org.example.probe"),
        SingleInstancePolicy::userDefaults(defaults, QStringLiteral("allowMultipleInstances")),
        SingleInstanceLockLocation::directory(QUrl::fromLocalFile(folder)));

    SingleInstanceStartupResult result = SingleInstanceController::start(configuration, request);
    switch (result.kind()) {
    case SingleInstanceStartupResult::Case::alreadyRunning:
        say("result alreadyRunning");
        return 0;
    case SingleInstanceStartupResult::Case::failed:
        say("result failed " + InstanceLock::describe(*result.error()).toUtf8());
        return 0;
    case SingleInstanceStartupResult::Case::run:
        break;
    }
    say("result run");
    const std::unique_ptr<SingleInstanceController> controller = result.takeController();
    say(controller->isEnforcingSingleInstance() ? "enforcing 1" : "enforcing 0");

    QCoreApplication application(argc, argv);
    if (!defersHandler) {
        installHandler(*controller);
    }

    QByteArray input;
    QSocketNotifier commands(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&commands, &QSocketNotifier::activated, [&] {
        char buffer[256];
        const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof(buffer));
        if (got <= 0) {
            QCoreApplication::quit();
            return;
        }
        input.append(buffer, got);
        qsizetype end = 0;
        while ((end = input.indexOf('\n')) >= 0) {
            const QByteArray command = input.left(end).trimmed();
            input.remove(0, end + 1);
            if (command == "install") {
                installHandler(*controller);
            } else if (command == "status") {
                say(controller->pendingActivation() ? "pending 1" : "pending 0");
            } else if (command == "quit") {
                QCoreApplication::quit();
            }
        }
    });
    return QCoreApplication::exec();
}
