#include "ComponentBindings.h"

#include <array>
#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include <pybind11/stl.h>

#include "EventRecord.h"
#include "platform/HResult.h"
#include "vornix/PhoneVornix.h"

namespace py = pybind11;
using namespace Orvane::VornixNet;

namespace vornix_python {

ByteView::ByteView(const py::handle& object) {
    if (PyObject_GetBuffer(object.ptr(), &m_view, PyBUF_C_CONTIGUOUS) != 0) {
        PyErr_Clear();
        throw py::value_error("audio must be bytes, a bytearray, a memoryview or a C-contiguous array, not " +
                              std::string(py::str(py::type::of(object).attr("__name__"))));
    }
}

ByteView::~ByteView() { PyBuffer_Release(&m_view); }

namespace {

// ---------------------------------------------------------------- enumerations

// Every enumeration takes a plain int as well, so d.DecodeChannel = 1 works as the
// numbers in the documentation of the component do.
template <typename E>
py::enum_<E> Enum(py::module_& module, const char* name) {
    py::enum_<E> type(module, name, py::arithmetic());
    py::implicitly_convertible<int, E>();
    return type;
}

#define VORNIX_VALUE(type, name) type.value(#name, name)

}  // namespace

void RegisterEnums(py::module_& m) {
    auto channel = Enum<CHANNEL_OPT>(m, "CHANNEL_OPT");
    VORNIX_VALUE(channel, LEFT_CHANNEL);
    VORNIX_VALUE(channel, RIGHT_CHANNEL);
    auto ttyRate = Enum<TTY_RATE>(m, "TTY_RATE");
    VORNIX_VALUE(ttyRate, BR_45_45_Baud);
    VORNIX_VALUE(ttyRate, BR_50_Baud);
    VORNIX_VALUE(ttyRate, BR_56_92_Baud);
    VORNIX_VALUE(ttyRate, BR_74_20_Baud);
    VORNIX_VALUE(ttyRate, BR_100_Baud);
    VORNIX_VALUE(ttyRate, BR_110_Baud);
    VORNIX_VALUE(ttyRate, BR_1200_BPS);
    auto ttyMode = Enum<TTY_MODE>(m, "TTY_MODE");
    VORNIX_VALUE(ttyMode, Baudot_Mode);
    VORNIX_VALUE(ttyMode, ASCII7_Mode);
    VORNIX_VALUE(ttyMode, ASCII8_Mode);
    auto profile = Enum<DTMF_PROFILE>(m, "DTMF_PROFILE");
    VORNIX_VALUE(profile, DTMF_PROFILE_EXACT);
    VORNIX_VALUE(profile, DTMF_PROFILE_ROBUST);
    auto blocks = Enum<TONE_BLOCK_LAYOUT>(m, "TONE_BLOCK_LAYOUT");
    VORNIX_VALUE(blocks, TONE_BLOCKS_EXACT);
    VORNIX_VALUE(blocks, TONE_BLOCKS_RATE_SCALED);
    auto paging = Enum<PAGING_TYPE>(m, "PAGING_TYPE");
    VORNIX_VALUE(paging, PT_EIA);
    VORNIX_VALUE(paging, PT_CCIR);
    VORNIX_VALUE(paging, PT_ZVEI1);
    VORNIX_VALUE(paging, PT_ZVEI2);
    VORNIX_VALUE(paging, PT_ZVEI3);
    VORNIX_VALUE(paging, PT_PZVEI);
    VORNIX_VALUE(paging, PT_EEA);
    auto window = Enum<FFT_WINDOW_TYPE>(m, "FFT_WINDOW_TYPE");
    VORNIX_VALUE(window, WINDOW_RECTANGLE);
    VORNIX_VALUE(window, WINDOW_HAMMING);
    VORNIX_VALUE(window, WINDOW_BLACKMAN);
    VORNIX_VALUE(window, WINDOW_TRIANGLE);
    VORNIX_VALUE(window, WINDOW_HANNING);
    VORNIX_VALUE(window, NO_WINDOW);
    auto level = Enum<FSK_LEVEL>(m, "FSK_LEVEL");
    VORNIX_VALUE(level, FSK_SPACE);
    VORNIX_VALUE(level, FSK_MARK);
    auto stopBits = Enum<STOPBITS_TYPE>(m, "STOPBITS_TYPE");
    VORNIX_VALUE(stopBits, STOPBIT_NO);
    VORNIX_VALUE(stopBits, STOPBIT_ONE);
    VORNIX_VALUE(stopBits, STOPBITS_ONE5);
    VORNIX_VALUE(stopBits, STOPBITS_TWO);
    auto parity = Enum<PARITY_TYPE>(m, "PARITY_TYPE");
    VORNIX_VALUE(parity, PARITY_NO);
    VORNIX_VALUE(parity, PARITY_ODD_);
    VORNIX_VALUE(parity, PARITY_EVEN_);
    VORNIX_VALUE(parity, PARITY_MARK_);
    VORNIX_VALUE(parity, PARITY_SPACE_);
    auto same = Enum<SAME_STATUS>(m, "SAME_STATUS");
    VORNIX_VALUE(same, SAME_UNKNOWN);
    VORNIX_VALUE(same, SAME_TEXT1);
    VORNIX_VALUE(same, SAME_TEXT2);
    VORNIX_VALUE(same, SAME_TEXT3);
    VORNIX_VALUE(same, SAME_WARN_ALARM);
    VORNIX_VALUE(same, SAME_VOICE_MSG);
    VORNIX_VALUE(same, SAME_NNNN_1);
    VORNIX_VALUE(same, SAME_NNNN_2);
    VORNIX_VALUE(same, SAME_NNNN_3);
    auto sit = Enum<SIT_TYPE>(m, "SIT_TYPE");
    VORNIX_VALUE(sit, SIT_RO);
    VORNIX_VALUE(sit, SIT_VC);
    VORNIX_VALUE(sit, SIT_NC);
    VORNIX_VALUE(sit, SIT_IC);
    VORNIX_VALUE(sit, SIT_RO2);
    VORNIX_VALUE(sit, SIT_NC2);
    VORNIX_VALUE(sit, SIT_IO);
    auto cid = Enum<CID_STATUS>(m, "CID_STATUS");
    VORNIX_VALUE(cid, CID_STATUS_UNKNOWN);
    VORNIX_VALUE(cid, CID_STATUS_OK);
    VORNIX_VALUE(cid, CID_STATUS_BAD_CHECKSUM);
    auto vmwi = Enum<VMWI_STATUS>(m, "VMWI_STATUS");
    VORNIX_VALUE(vmwi, VMWI_OFF);
    VORNIX_VALUE(vmwi, VMWI_ON);
    VORNIX_VALUE(vmwi, VMWI_UNKNOWN);
}

// ---------------------------------------------------------------- event arguments

namespace {

py::object Text(const std::optional<std::string>& text) {
    if (!text) return py::none();
    // The component's texts are UTF-8; bytes that are not are replaced, as in the JSON lines.
    return py::reinterpret_steal<py::object>(PyUnicode_DecodeUTF8(text->data(), static_cast<Py_ssize_t>(text->size()), "replace"));
}

py::object Text(const std::string& text) { return Text(std::optional<std::string>(text)); }

}  // namespace

void RegisterEventArgs(py::module_& m) {
    // Copies: a handler may keep its argument after the event, when the library's is gone.
    py::class_<EventArgs>(m, "EventArgs");
    py::class_<KeyArgs, EventArgs>(m, "KeyArgs")
        .def_property_readonly("RecvChar", [](const KeyArgs& e) { return Text(EventRecord::Utf8(e.RecvChar())); })
        .def_property_readonly("RawCode", &KeyArgs::RawCode)
        .def_property_readonly("Position", &KeyArgs::Position);
    py::class_<OnSilenceStartArgs, EventArgs>(m, "OnSilenceStartArgs").def_property_readonly("StartPos", &OnSilenceStartArgs::StartPos);
    py::class_<OnSilenceEndArgs, EventArgs>(m, "OnSilenceEndArgs")
        .def_property_readonly("EndPos", &OnSilenceEndArgs::EndPos)
        .def_property_readonly("duration", &OnSilenceEndArgs::duration);
    py::class_<OnDebugArgs, EventArgs>(m, "OnDebugArgs")
        .def_property_readonly("InfoMsg", [](const OnDebugArgs& e) { return Text(e.InfoMsg()); })
        .def_property_readonly("RefCode", &OnDebugArgs::RefCode);
    py::class_<OnToneDetectedArgs, EventArgs>(m, "OnToneDetectedArgs")
        .def_property_readonly("AppSpecific", &OnToneDetectedArgs::AppSpecific)
        .def_property_readonly("Position", &OnToneDetectedArgs::Position);
    py::class_<OnSAMEArgs, EventArgs>(m, "OnSAMEArgs")
        .def_property_readonly("RawData", [](const OnSAMEArgs& e) { return Text(e.RawData()); })
        .def_property_readonly("Position", &OnSAMEArgs::Position);
    py::class_<OnProgressArgs, EventArgs>(m, "OnProgressArgs")
        .def_property_readonly("nProgress", &OnProgressArgs::nProgress)
        .def_property_readonly("nProgressMax", &OnProgressArgs::nProgressMax);
    py::class_<OnSAMEelementArgs, EventArgs>(m, "OnSAMEelementArgs")
        .def_property_readonly("Status", &OnSAMEelementArgs::Status)
        .def_property_readonly("Context", [](const OnSAMEelementArgs& e) { return Text(e.Context()); })
        .def_property_readonly("Position", &OnSAMEelementArgs::Position);
    py::class_<OnSITArgs, EventArgs>(m, "OnSITArgs")
        .def_property_readonly("SITType", &OnSITArgs::SITType)
        .def_property_readonly("SITName", [](const OnSITArgs& e) { return Text(e.SITName()); })
        .def_property_readonly("Position", &OnSITArgs::Position);
    py::class_<OnFrequencyDetectedArgs, EventArgs>(m, "OnFrequencyDetectedArgs")
        .def_property_readonly("Frequency", &OnFrequencyDetectedArgs::Frequency)
        .def_property_readonly("secondFreq", &OnFrequencyDetectedArgs::secondFreq)
        .def_property_readonly("duration", &OnFrequencyDetectedArgs::duration)
        .def_property_readonly("StartPos", &OnFrequencyDetectedArgs::StartPos);
    py::class_<OnCallerIDArgs, EventArgs>(m, "OnCallerIDArgs")
        .def_property_readonly("RawData",
                               [](const OnCallerIDArgs& e) -> py::object {
                                   if (!e.RawData()) return py::none();
                                   const auto& raw = *e.RawData();
                                   return py::bytes(reinterpret_cast<const char*>(raw.data()), raw.size());
                               })
        .def_property_readonly("Name", [](const OnCallerIDArgs& e) { return Text(e.Name()); })
        .def_property_readonly("CallerNumber", [](const OnCallerIDArgs& e) { return Text(e.CallerNumber()); })
        .def_property_readonly("sDateTime", [](const OnCallerIDArgs& e) { return Text(e.sDateTime()); })
        .def_property_readonly("Position", &OnCallerIDArgs::Position)
        .def_property_readonly("CalledNumber", [](const OnCallerIDArgs& e) { return Text(e.CalledNumber()); })
        .def_property_readonly("Status", &OnCallerIDArgs::Status);
    py::class_<OnVMWIArgs, EventArgs>(m, "OnVMWIArgs")
        .def_property_readonly("Status", &OnVMWIArgs::Status)
        .def_property_readonly("ParamsData", &OnVMWIArgs::ParamsData)
        .def_property_readonly("Position", &OnVMWIArgs::Position);
}

// ---------------------------------------------------------------- the component

namespace {

// The events in the order of the component's declaration; a handler list per event.
constexpr std::array kEventNames = {"OnFSK",         "OnDTMF",        "OnSilenceStart", "OnSilenceEnd",  "OnTTY",
                                    "OnDebug",       "OnMF",          "OnPaging",       "OnSAME",        "OnSAMEelement",
                                    "OnSpectrumData", "OnCallerID",   "OnVMWI",         "OnToneDetected", "OnProgress",
                                    "OnFrequencyDetected", "OnSIT"};

// The component with a list of Python handlers per event. The component raises its events
// on the thread that feeds it, with the interpreter released; a handler list that has
// handlers takes the interpreter back for them. Whether a list has handlers is read at the
// start of every call that feeds or dispatches (under the interpreter), so an event without
// handlers costs the decoder nothing; a handler added to an empty list by another handler
// hears from the next such call on.
class PyPhoneVornix {
public:
    PyPhoneVornix() {
        for (auto& slot : m_slots) slot.handlers = py::list();
        std::size_t i = 0;
        Subscribe(m_component.OnFSK, i++);
        Subscribe(m_component.OnDTMF, i++);
        Subscribe(m_component.OnSilenceStart, i++);
        Subscribe(m_component.OnSilenceEnd, i++);
        Subscribe(m_component.OnTTY, i++);
        Subscribe(m_component.OnDebug, i++);
        Subscribe(m_component.OnMF, i++);
        Subscribe(m_component.OnPaging, i++);
        Subscribe(m_component.OnSAME, i++);
        Subscribe(m_component.OnSAMEelement, i++);
        Subscribe(m_component.OnSpectrumData, i++);
        Subscribe(m_component.OnCallerID, i++);
        Subscribe(m_component.OnVMWI, i++);
        Subscribe(m_component.OnToneDetected, i++);
        Subscribe(m_component.OnProgress, i++);
        Subscribe(m_component.OnFrequencyDetected, i++);
        Subscribe(m_component.OnSIT, i++);
    }

    PhoneVornix& Component() { return m_component; }

    static std::size_t SlotOf(const std::string& name) {
        for (std::size_t i = 0; i < kEventNames.size(); ++i)
            if (name == kEventNames[i]) return i;
        throw py::value_error("'" + name + "' is not an event of PhoneVornix");
    }
    py::list Handlers(std::size_t slot) const { return m_slots[slot].handlers; }
    void SetHandlers(std::size_t slot, py::list handlers) { m_slots[slot].handlers = std::move(handlers); }
    void On(const std::string& name, py::object handler) {
        if (!PyCallable_Check(handler.ptr())) throw py::value_error("the handler of " + name + " must be callable");
        const std::size_t slot = SlotOf(name);
        m_slots[slot].handlers.append(handler);
        m_slots[slot].active = true;
    }

    // A call that feeds audio or dispatches events, with the interpreter released around
    // it. One at a time: the component is not to be fed from two threads at once.
    template <typename F>
    auto Feeding(F&& call) {
        for (auto& slot : m_slots) slot.active = py::len(slot.handlers) > 0;
        std::unique_lock lock(m_feeding, std::try_to_lock);
        if (!lock.owns_lock()) throw std::runtime_error("this PhoneVornix is being fed by another call");
        py::gil_scoped_release release;
        return call(m_component);
    }

private:
    struct Slot {
        py::list handlers;
        std::atomic<bool> active{false};
    };

    template <typename Args>
    void Subscribe(Event<Args>& event, std::size_t slot) {
        event += [this, slot](PhoneVornix&, const Args& e) {
            if (!m_slots[slot].active.load(std::memory_order_relaxed)) return;
            py::gil_scoped_acquire gil;
            py::object sender = py::cast(this, py::return_value_policy::reference);
            py::object args = py::cast(e, py::return_value_policy::copy);
            // A copy of the list, so a handler that adds or removes handlers changes the
            // next event's, not this one's. A handler's exception goes to the component,
            // which rethrows it from the call that fed the audio.
            const auto handlers = py::reinterpret_steal<py::list>(PySequence_List(m_slots[slot].handlers.ptr()));
            if (!handlers) throw py::error_already_set();
            for (const py::handle handler : handlers) handler(sender, args);
        };
    }

    // Before the component, so the component (whose handlers point here) goes first.
    std::array<Slot, kEventNames.size()> m_slots;
    std::mutex m_feeding;
    PhoneVornix m_component;
};

std::string PathText(const py::object& path) {
    return py::str(py::module_::import("os").attr("fspath")(path));
}

#define VORNIX_PROPERTY(Type, Name)                                                      \
    def_property(                                                                        \
        #Name, [](PyPhoneVornix& d) { return d.Component().Name(); },                   \
        [](PyPhoneVornix& d, Type value) { d.Component().Name(value); })

#define VORNIX_GROUP_PROPERTY(Group, Type, Name) \
    def_property(#Name, [](const Group& g) { return g.Name(); }, [](Group& g, Type value) { g.Name(value); })

}  // namespace

void RegisterComponent(py::module_& m) {
    py::class_<CDTMFParams>(m, "CDTMFParams")
        .VORNIX_GROUP_PROPERTY(CDTMFParams, std::int32_t, minDuration)
        .VORNIX_GROUP_PROPERTY(CDTMFParams, std::int32_t, minIntervalDuration)
        .VORNIX_GROUP_PROPERTY(CDTMFParams, float, Harmonic2nd_col)
        .VORNIX_GROUP_PROPERTY(CDTMFParams, float, Harmonic2nd_row)
        .VORNIX_GROUP_PROPERTY(CDTMFParams, float, EnergyThreshold)
        .VORNIX_GROUP_PROPERTY(CDTMFParams, float, Normal_twist)
        .VORNIX_GROUP_PROPERTY(CDTMFParams, float, Reverse_twist)
        .VORNIX_GROUP_PROPERTY(CDTMFParams, float, Sensitive)
        .VORNIX_GROUP_PROPERTY(CDTMFParams, bool, RelativePeakTest)
        .VORNIX_GROUP_PROPERTY(CDTMFParams, DTMF_PROFILE, DTMFProfile)
        .def_property(
            "Frequency_row", [](const CDTMFParams& g) { return g.Frequency_row(); },
            [](CDTMFParams& g, const std::vector<float>& value) { g.Frequency_row(value); })
        .def_property(
            "Frequency_col", [](const CDTMFParams& g) { return g.Frequency_col(); },
            [](CDTMFParams& g, const std::vector<float>& value) { g.Frequency_col(value); })
        .def("getFrequency", &CDTMFParams::getFrequency, py::arg("isRow"))
        .def(
            "setFrequency", [](CDTMFParams& g, const std::vector<float>& value, std::int32_t isRow) { g.setFrequency(value, isRow); },
            py::arg("value"), py::arg("isRow"));
    py::class_<CMonitorTonesParams>(m, "CMonitorTonesParams")
        .VORNIX_GROUP_PROPERTY(CMonitorTonesParams, float, Tolerance)
        .VORNIX_GROUP_PROPERTY(CMonitorTonesParams, TONE_BLOCK_LAYOUT, BlockLayout);
    py::class_<CCustomToneParams>(m, "CCustomToneParams")
        .VORNIX_GROUP_PROPERTY(CCustomToneParams, float, SilenceThreshold)
        .VORNIX_GROUP_PROPERTY(CCustomToneParams, std::int32_t, minSilenceDuration)
        .VORNIX_GROUP_PROPERTY(CCustomToneParams, float, AmplitudeThreshold)
        .VORNIX_GROUP_PROPERTY(CCustomToneParams, FFT_WINDOW_TYPE, FFT_Window)
        .VORNIX_GROUP_PROPERTY(CCustomToneParams, std::int32_t, MaxTonesDuration)
        .VORNIX_GROUP_PROPERTY(CCustomToneParams, std::int32_t, FFT_Size);
    py::class_<CTTYParams>(m, "CTTYParams")
        .VORNIX_GROUP_PROPERTY(CTTYParams, TTY_RATE, Rate)
        .VORNIX_GROUP_PROPERTY(CTTYParams, TTY_MODE, Mode)
        .VORNIX_GROUP_PROPERTY(CTTYParams, float, MarkFreq)
        .VORNIX_GROUP_PROPERTY(CTTYParams, float, SpaceFreq);
    py::class_<CTonePagingParams>(m, "CTonePagingParams")
        .VORNIX_GROUP_PROPERTY(CTonePagingParams, PAGING_TYPE, PagingType)
        .VORNIX_GROUP_PROPERTY(CTonePagingParams, float, MinAmpdB)
        .VORNIX_GROUP_PROPERTY(CTonePagingParams, std::int32_t, minGapDuration);
    py::class_<CFSKParams>(m, "CFSKParams")
        .VORNIX_GROUP_PROPERTY(CFSKParams, float, MarkFreq)
        .VORNIX_GROUP_PROPERTY(CFSKParams, float, SpaceFreq)
        .VORNIX_GROUP_PROPERTY(CFSKParams, std::int32_t, BaudRate)
        .VORNIX_GROUP_PROPERTY(CFSKParams, FSK_LEVEL, StopBitTone)
        .VORNIX_GROUP_PROPERTY(CFSKParams, FSK_LEVEL, StartBitTone)
        .VORNIX_GROUP_PROPERTY(CFSKParams, STOPBITS_TYPE, StopBits)
        .VORNIX_GROUP_PROPERTY(CFSKParams, PARITY_TYPE, Parity)
        .VORNIX_GROUP_PROPERTY(CFSKParams, std::int32_t, DataBits);

    py::class_<PyPhoneVornix> d(m, "PhoneVornix",
                                "The telephone-line decoder. Switch detectors on, append handlers to its event lists "
                                "(d.OnDTMF.append(fn) or d.on('OnDTMF', fn); fn(sender, args)), then feed it a file "
                                "(Source) or a stream (WaveStreamStart, WaveStreamInput, WaveStreamEnd).");
    d.def(py::init<>())
        .VORNIX_PROPERTY(float, SilenceThreshold)
        .VORNIX_PROPERTY(std::int32_t, SampleProcessed)
        .VORNIX_PROPERTY(bool, MonitorDTMF)
        .VORNIX_PROPERTY(bool, MonitorCallerID)
        .VORNIX_PROPERTY(bool, EnableSpectrumConversion)
        .VORNIX_PROPERTY(bool, MonitorCustomTone)
        .VORNIX_PROPERTY(bool, MonitorTTY)
        .VORNIX_PROPERTY(bool, MonitorTonePaging)
        .VORNIX_PROPERTY(bool, MonitorMF)
        .VORNIX_PROPERTY(bool, MonitorSAME)
        .VORNIX_PROPERTY(bool, MonitorVMWI)
        .VORNIX_PROPERTY(bool, MonitorSIT)
        .VORNIX_PROPERTY(bool, MonitorCIDCW)
        .VORNIX_PROPERTY(bool, MonitorFSK)
        .VORNIX_PROPERTY(bool, SynchronizeEvents)
        .VORNIX_PROPERTY(CHANNEL_OPT, DecodeChannel)
        .VORNIX_PROPERTY(DTMF_PROFILE, DTMFProfile)
        .VORNIX_PROPERTY(std::string, WaveFormatID)
        .def_property(
            "WaveFormatIndex", [](PyPhoneVornix& d) { return static_cast<int>(d.Component().WaveFormatIndex()); },
            [](PyPhoneVornix& d, int value) { d.Component().WaveFormatIndex(static_cast<WAVE_FORMAT_INDEX>(value)); })
        .def_property_readonly("WaveFormatCodecDesc", [](PyPhoneVornix& d) { return d.Component().WaveFormatCodecDesc(); })
        .def_property_readonly("AboutVersion", [](PyPhoneVornix& d) { return d.Component().AboutVersion(); })
        .def_property_readonly("DecodePosition", [](PyPhoneVornix& d) { return d.Component().DecodePosition(); })
        // The groups live as long as the component: each keeps its PhoneVornix alive.
        .def_property_readonly("DTMFParams", [](PyPhoneVornix& d) { return &d.Component().DTMFParams(); }, py::return_value_policy::reference_internal)
        .def_property_readonly("MonitorTonesParams", [](PyPhoneVornix& d) { return &d.Component().MonitorTonesParams(); }, py::return_value_policy::reference_internal)
        .def_property_readonly("CustomToneParams", [](PyPhoneVornix& d) { return &d.Component().CustomToneParams(); }, py::return_value_policy::reference_internal)
        .def_property_readonly("TTYParams", [](PyPhoneVornix& d) { return &d.Component().TTYParams(); }, py::return_value_policy::reference_internal)
        .def_property_readonly("TonePagingParams", [](PyPhoneVornix& d) { return &d.Component().TonePagingParams(); }, py::return_value_policy::reference_internal)
        .def_property_readonly("FSKParams", [](PyPhoneVornix& d) { return &d.Component().FSKParams(); }, py::return_value_policy::reference_internal)
        .def(
            "Source",
            [](PyPhoneVornix& d, const py::object& path) {
                if (path.is_none()) throw ArgumentException(E_INVALIDARG, "The source is null.");
                const std::string file = PathText(path);
                d.Feeding([&](PhoneVornix& c) { c.Source(file); });
            },
            py::arg("fileName"), "Decodes a whole file (a path), raising its events before it returns.")
        .def("WaveStreamStart", [](PyPhoneVornix& d) { d.Feeding([](PhoneVornix& c) { c.WaveStreamStart(); }); })
        .def(
            "WaveStreamInput",
            [](PyPhoneVornix& d, const py::object& buffer) {
                const ByteView bytes(buffer);
                return d.Feeding([&](PhoneVornix& c) { return c.WaveStreamInput({bytes.data(), bytes.size()}); });
            },
            py::arg("streamBuffer"), "Feeds bytes in the stream format (WaveFormatIndex or WaveFormatID); returns how many were taken.")
        .def("WaveStreamEnd", [](PyPhoneVornix& d) { d.Feeding([](PhoneVornix& c) { c.WaveStreamEnd(); }); })
        .def("MonitorTones_Add", [](PyPhoneVornix& d, std::int32_t appSpecific, std::int32_t minPeriodOn, std::int32_t minPeriodOff,
                                    std::int32_t frequency1, std::int32_t frequency2, std::int32_t frequency3, std::int32_t frequency4,
                                    float minAmpdB, float maxAmpdB) {
                 d.Component().MonitorTones_Add(appSpecific, minPeriodOn, minPeriodOff, frequency1, frequency2, frequency3,
                                                frequency4, minAmpdB, maxAmpdB);
             },
             py::arg("appSpecific"), py::arg("minPeriodOn"), py::arg("minPeriodOff"), py::arg("frequency1"),
             py::arg("frequency2"), py::arg("frequency3"), py::arg("frequency4"), py::arg("minAmpdB"), py::arg("maxAmpdB"))
        .def("MonitorTones_Clear", [](PyPhoneVornix& d) { d.Component().MonitorTones_Clear(); })
        .def("Sample2Second", [](PyPhoneVornix& d, std::int32_t n) { return d.Component().Sample2Second(n); }, py::arg("nSample"))
        .def(
            "GetCenterFreqs",
            [](PyPhoneVornix& d) -> py::object {
                double first = 0.0, second = 0.0;
                if (!d.Component().GetCenterFreqs(first, second)) return py::none();
                return py::make_tuple(first, second);
            },
            "The one or two strongest peaks of the latest spectrum (frequency, secondFreq), or None.")
        .def("GetfrequencyDB", [](PyPhoneVornix& d, double f) { return d.Component().GetfrequencyDB(f); }, py::arg("frequency"))
        .def("SpectrumDB", [](PyPhoneVornix& d) { return d.Component().SpectrumDB(); })
        .def("AboutBox", [](PyPhoneVornix& d) { d.Feeding([](PhoneVornix& c) { c.AboutBox(); }); })
        .def("DispatchEvents", [](PyPhoneVornix& d) { return d.Feeding([](PhoneVornix& c) { return c.DispatchEvents(); }); })
        .def(
            "WaitEvents",
            [](PyPhoneVornix& d, std::int64_t timeoutMs) {
                if (timeoutMs < 0) throw py::value_error("the timeout must not be negative");
                return d.Feeding([&](PhoneVornix& c) { return c.WaitEvents(std::chrono::milliseconds(timeoutMs)); });
            },
            py::arg("timeout_ms"))
        .def("on", &PyPhoneVornix::On, py::arg("event"), py::arg("handler"), "Appends a handler to an event's list.");
    for (std::size_t i = 0; i < kEventNames.size(); ++i)
        d.def_property(
            kEventNames[i], [i](const PyPhoneVornix& self) { return self.Handlers(i); },
            [i](PyPhoneVornix& self, py::list handlers) { self.SetHandlers(i, std::move(handlers)); });
}

}  // namespace vornix_python
