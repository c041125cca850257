#include "app/MainLoopExceptions.h"

#include <boost/exception/diagnostic_information.hpp>
#include <boost/exception/exception.hpp>

#include "devices/VokarVersion.h"
#include "foundation/Exceptions.h"
#include "foundation/Place.h"
#include "foundation/TextConversion.h"
#include "propertypanel/ApplyRules.h"

namespace app {
namespace {

constexpr const wchar_t* kInternalFault = L"Внутренняя ошибка программы.";

bool isVersionText(const std::wstring& text) {
    for (std::int32_t v = 1; v < device::vokarVersionCount; ++v) {
        if (text == base::widen(device::get(static_cast<device::VokarVersion>(v)))) return true;
    }
    return false;
}

}  // namespace

std::wstring refusalWords(const exception::UserResponse& refusal) {
    // A firmware generation that lacks the operation names the generation it needs.
    if (dynamic_cast<const exception::UnsupportedByDevice*>(&refusal) && isVersionText(refusal.description))
        return L"Прошивка устройства не поддерживает эту операцию: нужна версия " + refusal.description +
               L" или новее.";
    if (!refusal.description.empty()) return refusal.description;
    // The registry's refusals of zone bindings that the zone page does not name itself.
    static const std::pair<const wchar_t*, const wchar_t*> codes[] = {
        {L"zoneBusy", L"Эта зона уже назначена пульту."},
        {L"unknownZone", L"У пульта нет этой зоны."},
        {L"incorrectZone", L"Неверный номер зоны."},
        {L"noScenario", L"Не у всех выбранных вокаров есть сообщение зоны."},
        {L"noFireType", L"Сообщения зон назначаются только пожарному пульту."},
    };
    for (const auto& [code, words] : codes) {
        if (refusal.message == code) return words;
    }
    return frm::apply::refusalText(refusal.message);
}

MainLoopOutcome handleMainLoopException(std::exception_ptr error) {
    const debug::Place place("aApp::OnExceptionInMainLoop");
    try {
        std::rethrow_exception(error);
    } catch (const exception::Offline&) {
        place.important(L"Device is offline");
        place.warn(L"Устройство не в сети.");
    } catch (const exception::InternalError& e) {
        place.important(L"Internal error: '%1%' / '%2%'", e.message, e.description);
        place.error(L"%1%", e.description.empty() ? e.message : e.description);
    } catch (const exception::UserResponse& e) {
        place.important(L"Refused: '%1%' / '%2%'", e.message, e.description);
        place.warn(L"%1%", refusalWords(e));
    } catch (const exception::ExternalError& e) {
        place.important(L"External error: '%1%' / '%2%'", e.message, e.description);
        place.error(L"%1%", e.description.empty() ? e.message : e.description);
    } catch (const exception::StopProgram&) {
        place.important(L"Stop program");
        base::Log::notifyInstance();
        return MainLoopOutcome::endProgram;
    } catch (const boost::exception& e) {
        place.important(L"boost exception: '%1%'", base::fromSystem(boost::diagnostic_information(e)));
        place.error(kInternalFault);
    } catch (const std::exception& e) {
        place.important(L"std exception: '%1%'", exception::textOf(e));
        place.error(kInternalFault);
    } catch (...) {
        place.important(L"unknown exception");
        place.error(kInternalFault);
    }
    return MainLoopOutcome::goOn;
}

}  // namespace app
