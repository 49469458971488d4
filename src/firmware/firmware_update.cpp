#include "firmware/firmware_update.h"

#include "device/crc.h"
#include "firmware/firmware_image.h"

namespace padwright {

void PostUpdateText(const UpdateContext& context, const std::string& text, int percentage)
{
    if (context.configMode->load() == 1)
        context.sink->PostUpdateProgress(percentage, text);
    else
        context.messages->Show(kConfigModeNotSetNotice);
}

int ProgramFirmware(const UpdateContext& context)
{
    const Resources& strings = *context.resources;
    const auto fail = [&](int stringId) {
        PostUpdateText(context, strings.String(stringId), 0);
        return 0;
    };

    PreparedImage image;
    if (const int failure = LoadFirmwareImage(strings, context.deviceKind, image))
        return fail(failure);
    CHidDevice* device = context.device.get();
    if (!device || !device->WriteRadioState())
        return fail(kStringDisablingRadio);
    if (!device->EraseFlash(kImageRangeStart, kImageRangeBytes))
        return fail(kStringErasingFlash);
    const size_t bodyLength = image.BodyLength();
    if (!device->ProgramFlash(kImageBodyAddress, image.Body(), bodyLength, true,
                              strings.String(kStringReprogramming)))
        return fail(kStringProgrammingFlash);
    uint32_t controllerSum = 0;
    if (!device->CalculateChecksum(static_cast<uint32_t>(bodyLength), controllerSum))
        return fail(kStringCalculatingChecksum);
    if (controllerSum != ControllerCrc(image.Body(), bodyLength))
        return fail(kStringChecksumsDiffer);
    if (!device->ProgramFlash(kImageHeaderAddress, image.bytes.data(), kImageHeaderBytes))
        return fail(kStringFinalizingFlash);
    PostUpdateText(context, strings.String(kStringResettingDevice), 100);
    if (!device->ResetDevice())
        return fail(kStringResetFailed);
    PostUpdateText(context, strings.String(kStringProgrammingComplete), 0);
    return 0;
}

void UpdateThreadProc(UpdateContext context, std::atomic<bool>* finished)
{
    const int result = ProgramFirmware(context);
    if (finished)
        *finished = true;
    context.sink->PostUpdateDone(result);
}

}  // namespace padwright
