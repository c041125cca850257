#include "app/QuitOption.h"

#include <cstdio>

#include "app/SingleInstance.h"
#include "app/StartupDecisions.h"
#include "foundation/DataFolders.h"
#include "foundation/Exceptions.h"
#include "foundation/TextConversion.h"

namespace app {

QuitOutcome quitOutcome(bool anotherCopyRuns, StopChannel::Answer answer) {
    if (decideStart(true, anotherCopyRuns) == StartDecision::endQuietly)
        return {1, "Копия программы не запущена: останавливать нечего."};
    switch (answer) {
        case StopChannel::Answer::stopped:
            return {0, "Запущенная копия программы остановлена, её состояние сохранено."};
        case StopChannel::Answer::stoppedUnsaved:
            return {4,
                    "Запущенная копия программы остановлена, но её состояние сохранить не удалось: "
                    "изменения, сделанные за время её работы, потеряны (причина в её журнале)."};
        case StopChannel::Answer::notConfirmed:
            return {3, "Запущенная копия программы приняла запрос на остановку, но не подтвердила её за " +
                           std::to_string(kQuitDeadline.count()) + " с."};
        case StopChannel::Answer::noAnswer:
            return {2, "Запущенная копия программы не ответила на запрос на остановку."};
        case StopChannel::Answer::otherUser:
            return {2,
                    "Канал остановки программы открыт процессом другого пользователя: его ответу нельзя "
                    "верить, и запрос ему не отправлен. Закройте программу из её окна."};
        case StopChannel::Answer::noListener:
            break;
    }
    return {2, "Запущенная копия программы не принимает запросы на остановку: закройте её из её окна."};
}

int quitRunningCopy() {
    std::wstring folder;
    try {
        folder = os::getApplicationDataDirectory();
    } catch (const std::exception& error) {
        // No copy runs without its data folder.
        const QuitOutcome none = quitOutcome(false, StopChannel::Answer::noListener);
        std::fprintf(stderr, "%s\nПапка данных программы не может быть создана: %s\n", none.line.c_str(),
                     base::toUtf8(exception::textOf(error)).c_str());
        return none.status;
    }
    const std::vector<std::wstring> folders = runFolders(folder);
    bool runs = false;
    {
        // Released at once: a copy starting now must not find the mark held by this one.
        const SingleInstance mark(folders);
        runs = mark.anotherCopyRuns();
    }
    const QuitOutcome outcome = quitOutcome(
        runs, runs ? StopChannel::requestStop(folders, kQuitDeadline) : StopChannel::Answer::noListener);
    std::fprintf(outcome.status == 0 ? stdout : stderr, "%s\n", outcome.line.c_str());
    return outcome.status;
}

}  // namespace app
