#include "app/MainLoopExceptions.h"

#include <boost/exception/diagnostic_information.hpp>
#include <boost/exception/exception.hpp>

#include "foundation/Exceptions.h"
#include "foundation/Place.h"

namespace app {

MainLoopOutcome handleMainLoopException(std::exception_ptr error, const ShowMessage& show) {
    const debug::Place place("aApp::OnExceptionInMainLoop");
    try {
        std::rethrow_exception(error);
    } catch (const exception::Offline&) {
        place.warn(L"Device is offline");
        show(L"Устройство не в сети.");
    } catch (const exception::InternalError& e) {
        place.error(L"Internal error: '%1%' / '%2%'", e.message, e.description);
        show(e.description.empty() ? e.message : e.description);
    } catch (const exception::ExternalError& e) {
        place.error(L"External error: '%1%' / '%2%'", e.message, e.description);
        show(e.description.empty() ? e.message : e.description);
    } catch (const exception::StopProgram&) {
        place.important(L"Stop program");
        base::Log::notifyInstance();
        return MainLoopOutcome::endProgram;
    } catch (const boost::exception& e) {
        place.error(L"boost exception: '%1%'", boost::diagnostic_information(e));
        show(L"Внутренняя ошибка программы.");
    } catch (const std::exception& e) {
        place.error(L"std exception: '%1%'", e.what());
        show(L"Внутренняя ошибка программы.");
    } catch (...) {
        place.error(L"unknown exception");
        show(L"Внутренняя ошибка программы.");
    }
    return MainLoopOutcome::goOn;
}

}  // namespace app
