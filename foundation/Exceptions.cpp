#include "foundation/Exceptions.h"

#include <system_error>

#include "foundation/Place.h"
#include "foundation/SocketErrors.h"
#include "foundation/TextConversion.h"

namespace exception {

Base::Base(const std::wstring& message_, const std::wstring& description_)
    : narrowText_(base::narrow(message_) + " / " + base::narrow(description_)),
      description(description_),
      message(message_) {
    debug::Place("exception::Base::Base").trace2(L"Exception: '%1%/%2%'", message, description);
}

IncorrectFormat::IncorrectFormat(const std::wstring& description)
    : UserError(L"Получен неверный формат данных", description) {}

DeviceReason::DeviceReason(const std::wstring& message, const std::wstring& description)
    : ExternalError(message, description) {
    reportDeviceFailure();
}

void DeviceReason::reportDeviceFailure() const {
    debug::Place("exception::DeviceReason::DeviceReason")
        .important(L"Ошибка устройства: '%1%' / '%2%'", message, description);
    base::Log::notifyInstance();
}

UnexpectedResponseOfDevice::UnexpectedResponseOfDevice(const std::string& reply)
    : DeviceReason(L"Получен неожиданный ответ устройства", base::widen(reply), Quiet{}), response(reply) {
    reportDeviceFailure();
}

UnknownVersionOfAudioMemory::UnknownVersionOfAudioMemory()
    : ExternalError(L"unknownVersion", L"Устройство имеет неизвестную версию аудио памяти") {}

InternalError::InternalError(const std::wstring& description) : InternalError(L"Internal error", description) {}

InternalError::InternalError(const std::wstring& message, const std::wstring& description)
    : Base(message, description) {
    base::Log::notifyInstance();
}

ServerError::ServerError() : InternalError(L"Внутренняя ошибка сервера") {}

NotImplemented::NotImplemented() : InternalError(L"Не реализовано") {}

std::wstring textOf(const std::exception& error) {
    if (const auto* own = dynamic_cast<const Base*>(&error)) return own->message + L" / " + own->description;
    const auto* system = dynamic_cast<const std::system_error*>(&error);
    if (system != nullptr && system->code().category() == os::errorCategory())
        return base::widen(error.what());
    return base::fromSystem(error.what());
}

}  // namespace exception
