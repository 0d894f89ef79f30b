// The SCPI instrument over a recording generator: what each message answers,
// what reaches the generator and what the error queue holds afterwards.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RecordingGenerator.h"
#include "scpi/Instrument.h"
#include "settings/Defaults.h"

namespace tpg::test {
namespace {

using protocol::ReportCommand;
using settings::SettingReport;
constexpr auto kPulse = ReportCommand::SetPulseFrequency;
constexpr auto kSync = ReportCommand::SetSyncFrequency;
constexpr auto kAmp = ReportCommand::SetAmplitude;
constexpr auto kPol = ReportCommand::SetPolarity;
constexpr auto kDir = ReportCommand::SetTriggerSyncFunction;

// Every error in the queue, as SYSTem:ERRor? answers them, oldest first.
std::vector<std::string> drainErrors(scpi::Instrument& instrument) {
    std::vector<std::string> out;
    for (int i = 0; i < 20; ++i) {
        const std::string answer = instrument.execute("SYST:ERR?");
        if (answer == "0,\"No error\"\n") {
            return out;
        }
        out.push_back(answer.substr(0, answer.size() - 1));
    }
    ADD_FAILURE() << "the error queue does not empty";
    return out;
}

std::vector<int> numbers(const std::vector<std::string>& errors) {
    std::vector<int> out;
    out.reserve(errors.size());
    for (const auto& e : errors) {
        out.push_back(std::stoi(e));
    }
    return out;
}

struct Exchange {
    std::vector<std::string> lines;
    std::string response;  // all lines' responses, one after the other
    std::vector<SettingReport> sent;
    std::vector<int> errors;
};

void run(const Exchange& c, RecordingGenerator& generator) {
    SCOPED_TRACE(c.lines.front());
    scpi::Instrument instrument(generator);
    std::string response;
    for (const auto& line : c.lines) {
        response += instrument.execute(line);
    }
    EXPECT_EQ(response, c.response);
    EXPECT_EQ(generator.sent, c.sent);
    EXPECT_EQ(numbers(drainErrors(instrument)), c.errors);
}

TEST(Scpi, CommandsSetAndQuery) {
    const Exchange cases[] = {
        {{"FREQ 1e6"}, "", {{kPulse, 1000000}}, {}},
        {{"sour:freq:cw 2.5MHZ"}, "", {{kPulse, 2500000}}, {}},
        {{"SOURCE:FREQUENCY 25 khz"}, "", {{kPulse, 25000}}, {}},
        {{"FREQ 1000000.5"}, "", {{kPulse, 1000001}}, {}},       // halves up
        {{"FREQ 1000.0005KHZ"}, "", {{kPulse, 1000001}}, {}},    // the unit scales exactly
        {{"EXT:FREQ 1000000.5"}, "", {{kSync, 1000000}}, {}},    // halves to even
        {{"EXT:FREQ 1000001.5HZ"}, "", {{kSync, 1000002}}, {}},  // halves to even
        {{"FREQ 0.35 GHZ;FREQ 0.0125ghz;:EXT:FREQ .3GHz"},
         "",
         {{kPulse, 350000000}, {kPulse, 12500000}, {kSync, 300000000}},
         {}},
        {{"FREQ MIN;FREQ MAX;FREQ DEF"},
         "",
         {{kPulse, 25000}, {kPulse, 350000000}, {kPulse, 10000000}},
         {}},
        {{"EXT:FREQ minimum;FREQ maximum;FREQ DEF"},
         "",
         {{kSync, 1000000}, {kSync, 300000000}, {kSync, 10000000}},
         {}},
        {{"FREQ?;:EXT:FREQ?;FREQ? MIN;:FREQ? MAX"},
         "125000000;10000000;1000000;350000000\n",
         {},
         {}},
        {{"VOLT 1.096"}, "", {{kAmp, 339}}, {}},
        {{"VOLT 1096MV"}, "", {{kAmp, 339}}, {}},
        {{"VOLT 1.0965"}, "", {{kAmp, 339}}, {}},  // the nearest step
        {{"SOUR:VOLT:LEV:IMM:AMPL 0.049"}, "", {{kAmp, 0}}, {}},
        {{"VOLT:AMPL 1.624 V"}, "", {{kAmp, 510}}, {}},
        {{"VOLT:LEV MAX;IMM MIN"}, "", {{kAmp, 510}, {kAmp, 0}}, {}},
        {{"VOLT?;VOLT? MIN;VOLT:IND?;IND? MAX"}, "1.096;0.049;339;510\n", {}, {}},
        {{"VOLT:IND 12;INDEX 1.50e1;:VOLT:IND #H1F"}, "", {{kAmp, 12}, {kAmp, 15}, {kAmp, 31}}, {}},
        {{"EXT:DIR INP;DIR output;:EXT:DIRECTION?"}, "OUTP\n", {{kDir, 1}, {kDir, 0}}, {}},
        {{"EXT:POL INV;POL normal;:EXT:POL?"}, "NORM\n", {{kPol, 0}, {kPol, 1}}, {}},
        {{"EXT:DIR INP", "EXT:DIR?;POL INV;POL?"}, "INP;INV\n", {{kDir, 1}, {kPol, 0}}, {}},
        {{"SYST:VERS?;ERR:COUN?;:SYSTEM:ERROR:NEXT?"}, "1999.0;0;0,\"No error\"\n", {}, {}},
        {{"SYST:ERR:ALL?"}, "0,\"No error\"\n", {}, {}},
        {{"FOO", "FREQ 1", "SYST:ERR:ALL?;COUN?;ALL?"},
         "-113,\"Undefined header;FOO\",-222,\"Data out of range;Pulse frequency is between 25kHz "
         "and 350MHz\";0;0,\"No error\"\n",
         {},
         {}},
        // The STATus subsystem: an enable mask is a whole number, bit 15
        // ignored; STATus:PRESet clears the masks.
        {{"STAT:OPER?;OPER:COND?;ENAB 3.6;ENAB?;:STAT:QUES?;QUES:COND?;:STATUS:QUESTIONABLE:ENABLE "
          "65535;ENAB?",
          "STAT:OPER:EVEN?;:STAT:PRES;OPER:ENAB?;:STAT:QUES:ENAB?"},
         "0;0;4;0;0;32767\n0;0;0\n",
         {},
         {}},
        // A numeric suffix of 1 is the node without one.
        {{"SOUR1:FREQ?;:source1:volt:ind?"}, "125000000;339\n", {}, {}},
        {{"SOUR1:FREQ 1e6;VOLT 1.096;:SOUR01:VOLT:IND?"},
         "339\n",
         {{kPulse, 1000000}, {kAmp, 339}},
         {}},
        {{"*IDN?"},
         "Trelvix Instruments,Trelvix Pulse Generator TPG-350,TPG35-20417,1.03\n",
         {},
         {}},
        {{"*RST"}, "", settings::restoreDefaultsReports(), {}},
        {{"*OPC?;*TST?;*WAI"}, "1;0\n", {}, {}},
        {{"*ESE 36;*ESE?;*SRE 255;*SRE?;*ESE 3.6;*ESE?"}, "36;191;4\n", {}, {}},
        {{"FREQ?\r"}, "125000000\n", {}, {}},
        {{"  FREQ  1e6  ;  ;"}, "", {{kPulse, 1000000}}, {}},
        // Path rules: a command continues at the previous one's level; ':'
        // returns to the root; common commands leave the path.
        {{"SOUR:FREQ 1e6;VOLT 1.096"}, "", {{kPulse, 1000000}, {kAmp, 339}}, {}},
        {{"EXT:FREQ 2e6;POL INV;*OPC;DIR INP"}, "", {{kSync, 2000000}, {kPol, 0}, {kDir, 1}}, {}},
        {{"EXT:POL INV;:FREQ 3e6"}, "", {{kPol, 0}, {kPulse, 3000000}}, {}},
        {{"EXT:FREQ 2e6;VOLT 1"}, "", {{kSync, 2000000}}, {-113}},
        {{"SYST:ERR:COUN?;NEXT?"}, "0;0,\"No error\"\n", {}, {}},
        {{"SYST:ERR?;COUN?"}, "0,\"No error\"\n", {}, {-113}},
        {{"FREQ?;EXT:FREQ?"}, "125000000\n", {}, {-113}},
        // The first failing command ends the message.
        {{"FREQ 1e6;VOLT 9;EXT:POL INV"}, "", {{kPulse, 1000000}}, {-222}},
        {{"FREQ?;FOO?;FREQ?"}, "125000000\n", {}, {-113}},
    };
    for (const auto& c : cases) {
        RecordingGenerator generator;
        run(c, generator);
    }
}

TEST(Scpi, EveryErrorSendsNothing) {
    const Exchange cases[] = {
        {{"FREQ 1.2.3"}, "", {}, {-102}},
        {{"FREQ 1,"}, "", {}, {-102}},
        {{"FREQ 1 2"}, "", {}, {-102}},
        {{"FREQ \"1e6"}, "", {}, {-102}},
        {{"FREQ,1"}, "", {}, {-102}},
        {{"FREQ 1e6\n"}, "", {}, {-102}},
        {{"5"}, "", {}, {-102}},
        {{"FREQ #3ab"}, "", {}, {-102}},
        {{"FREQ \"1e6\""}, "", {}, {-104}},
        {{"FREQ #13abc"}, "", {}, {-104}},
        {{"FREQ (1)"}, "", {}, {-104}},
        {{"EXT:DIR 1"}, "", {}, {-104}},
        {{"FREQ 1e6,2e6"}, "", {}, {-108}},
        {{"*CLS 1"}, "", {}, {-108}},
        {{"FREQ? 5"}, "", {}, {-108}},
        {{"EXT:POL? NORM"}, "", {}, {-108}},
        {{"SYST:ERR? 1"}, "", {}, {-108}},
        {{"SYST:ERR:ALL? 1"}, "", {}, {-108}},
        {{"STAT:PRES 1"}, "", {}, {-108}},
        {{"STAT:QUES:COND? 1"}, "", {}, {-108}},
        {{"STAT:OPER:ENAB 1,2"}, "", {}, {-108}},
        {{"FREQ? MAX,MIN"}, "", {}, {-108}},
        {{"FREQ? \"MAX\""}, "", {}, {-108}},
        {{"FREQ"}, "", {}, {-109}},
        {{"EXT:DIR"}, "", {}, {-109}},
        {{"*ESE"}, "", {}, {-109}},
        {{"STAT:OPER:ENAB"}, "", {}, {-109}},
        {{"FOO 1"}, "", {}, {-113}},
        {{"FREQU 1e6"}, "", {}, {-113}},
        {{"FREQ:XYZ 1"}, "", {}, {-113}},
        {{"SOUR 1"}, "", {}, {-113}},
        {{"SYST:ERR"}, "", {}, {-113}},
        {{"*RST?"}, "", {}, {-113}},
        {{"*IDN"}, "", {}, {-113}},
        {{"*XYZ"}, "", {}, {-113}},
        {{"SOUR2:FREQ?"}, "", {}, {-113}},
        {{"SOUR0:FREQ 1e6"}, "", {}, {-113}},
        {{"SOUR11:FREQ 1e6"}, "", {}, {-113}},
        {{"FREQ1 1e6"}, "", {}, {-113}},
        {{"EXT1:POL INV"}, "", {}, {-113}},
        {{"SYST:ERR:ALL"}, "", {}, {-113}},
        {{"STAT:OPER 1"}, "", {}, {-113}},
        {{"STAT:QUES:COND 1"}, "", {}, {-113}},
        {{"STAT:PRES?"}, "", {}, {-113}},
        {{"FREQ 1e6 V"}, "", {}, {-131}},
        {{"VOLT 1 HZ"}, "", {}, {-131}},
        {{"VOLT:IND 3 V"}, "", {}, {-131}},
        {{"FREQ 1 THZ"}, "", {}, {-131}},
        {{"VOLT 0.001 GHZ"}, "", {}, {-131}},
        {{"FREQ 24999.99"}, "", {}, {-222}},
        {{"FREQ 1e400"}, "", {}, {-222}},
        {{"EXT:FREQ 300.000001MHZ"}, "", {}, {-222}},
        {{"VOLT 1.7"}, "", {}, {-222}},
        {{"VOLT 10MV"}, "", {}, {-222}},
        {{"VOLT:IND 511"}, "", {}, {-222}},
        {{"VOLT:IND -1"}, "", {}, {-222}},
        {{"*ESE 256"}, "", {}, {-222}},
        {{"STAT:QUES:ENAB 65536"}, "", {}, {-222}},
        {{"STAT:OPER:ENAB -1"}, "", {}, {-222}},
        {{"FREQ 0.4GHZ"}, "", {}, {-222}},
        {{"EXT:DIR SIDEWAYS"}, "", {}, {-224}},
        {{"FREQ FAST"}, "", {}, {-224}},
        {{"VOLT:IND 1.5"}, "", {}, {-224}},
        {{"VOLT:IND 1e-400"}, "", {}, {-224}},
        {{"*ESE MAX"}, "", {}, {-224}},
        {{"STAT:OPER:ENAB MAX"}, "", {}, {-224}},
        {{"FREQ? MAXI"}, "", {}, {-224}},
        {{"VOLT:IND? FOO"}, "", {}, {-224}},
        {{"*IDN?;*OPC?"},
         "Trelvix Instruments,Trelvix Pulse Generator TPG-350,TPG35-20417,1.03\n",
         {},
         {-440}},
    };
    for (const auto& c : cases) {
        RecordingGenerator generator;
        run(c, generator);
    }
}

TEST(Scpi, ErrorTextsCarryTheSettingsMessages) {
    const std::pair<const char*, const char*> cases[] = {
        {"FREQ 1", "-222,\"Data out of range;Pulse frequency is between 25kHz and 350MHz\""},
        {"EXT:FREQ 1",
         "-222,\"Data out of range;External sync frequency is between 1MHz and "
         "300MHz\""},
        {"VOLT 2", "-222,\"Data out of range;Amplitude is between 49mV and 1624mV\""},
        {"VOLT:IND 600", "-222,\"Data out of range;Amplitude index is between 0 and 510\""},
        {"VOLT:IND 0.5", "-224,\"Illegal parameter value;Enter amplitude index, a whole number\""},
        {"FREQU?", "-113,\"Undefined header;FREQU?\""},
        {"FREQ? MAXI", "-224,\"Illegal parameter value;MAXI\""},
        {"SOUR2:FREQ?", "-113,\"Undefined header;SOUR2:FREQ?\""},
        {"FREQ 1", "-222,\"Data out of range;Pulse frequency is between 25kHz and 350MHz\""},
    };
    for (const auto& [message, error] : cases) {
        RecordingGenerator generator;
        scpi::Instrument instrument(generator);
        instrument.execute(message);
        EXPECT_EQ(drainErrors(instrument), std::vector<std::string>{error}) << message;
    }
}

TEST(Scpi, StatusRegistersFollowTheErrors) {
    RecordingGenerator generator;
    scpi::Instrument instrument(generator);
    const std::pair<const char*, const char*> steps[] = {
        {"*ESR?;*STB?", "0;16\n"},   // MAV: an answer is waiting
        {"FOO", ""},                 // command error
        {"*STB?", "4\n"},            // the error queue is not empty
        {"*ESE 32;*STB?", "36\n"},   // ESB
        {"*SRE 32;*STB?", "100\n"},  // MSS
        {"*STB?;*ESR?;*ESR?", "100;32;0\n"},
        {"FREQ 1", ""},  // execution error
        {"*ESR?", "16\n"},
        {"*IDN?;*OPC?", "Trelvix Instruments,Trelvix Pulse Generator TPG-350,TPG35-20417,1.03\n"},
        {"*ESR?", "4\n"},  // query error
        {"*OPC;*ESR?", "1\n"},
        {"*OPC?;*STB?", "1;20\n"},
        {"*CLS;*STB?;SYST:ERR:COUN?", "0;0\n"},
    };
    for (const auto& [message, response] : steps) {
        EXPECT_EQ(instrument.execute(message), response) << message;
    }
    instrument.inputOverrun();
    EXPECT_EQ(instrument.execute("*ESR?;SYST:ERR?"), "8;-363,\"Input buffer overrun\"\n");
}

// QUEStionable's condition bit 9 is "no generator open"; a change latches in
// the event register, which the status byte sums in bit 3 once enabled.
TEST(Scpi, QuestionableStatusFollowsTheGenerator) {
    RecordingGenerator generator;
    scpi::Instrument instrument(generator);
    const scpi::Fault missing{true, ""};
    struct Step {
        bool open;
        const char* message;
        const char* response;
    };
    const Step steps[] = {
        {true, "STAT:QUES:COND?;*STB?", "0;16\n"},
        {false, "STAT:QUES:COND?", "512\n"},
        {false, "*STB?", "0\n"},  // not enabled
        {false, "STAT:QUES:ENAB 512;*STB?;*SRE 8;*STB?", "8;88\n"},
        {false, "STAT:QUES?;*STB?;:STAT:QUES?", "512;16;0\n"},  // read, then cleared
        {true, "STAT:QUES:COND?;EVEN?", "0;0\n"},               // no event when it returns
        {false, "*STB?", "72\n"},
        {false, "*CLS;*STB?;STAT:QUES?", "0;0\n"},
        {true, "*STB?", "0\n"},
        {false, "STAT:PRES;*STB?;QUES:ENAB?;*SRE?", "0;0;8\n"},
        {false, "STAT:OPER?;OPER:COND?;*STB?", "0;0;16\n"},  // nothing is ever running
    };
    for (const auto& step : steps) {
        generator.readFault = step.open ? std::nullopt : std::optional(missing);
        EXPECT_EQ(instrument.execute(step.message), step.response) << step.message;
    }
    // Each connection has its own registers.
    scpi::Instrument other(generator);
    EXPECT_EQ(other.execute("STAT:QUES:ENAB?;*SRE?"), "0;0\n");
}

TEST(Scpi, QueueHoldsSixteenThenOverflows) {
    RecordingGenerator generator;
    scpi::Instrument instrument(generator);
    for (int i = 0; i < 20; ++i) {
        instrument.execute("FOO");
    }
    EXPECT_EQ(instrument.execute("SYST:ERR:COUN?"), "16\n");
    std::vector<int> expected(15, -113);
    expected.push_back(-350);
    EXPECT_EQ(numbers(drainErrors(instrument)), expected);
    // Each connection has its own queue.
    scpi::Instrument other(generator);
    other.execute("FOO");
    EXPECT_EQ(instrument.execute("SYST:ERR:COUN?"), "0\n");
}

TEST(Scpi, IdentityFieldsLoseTheirCommas) {
    RecordingGenerator generator;
    generator.id = {"Trelvix, Inc.", "Pulse\r\nGenerator", "", 0x0210};
    scpi::Instrument instrument(generator);
    EXPECT_EQ(instrument.execute("*idn?"), "Trelvix  Inc.,Pulse  Generator,0,2.10\n");
}

TEST(Scpi, QueriesApplyTheReadbackRangeRule) {
    RecordingGenerator generator;
    generator.state = {0, 600, 7, 9, 5};
    scpi::Instrument instrument(generator);
    EXPECT_EQ(instrument.execute("FREQ?;VOLT?;VOLT:IND?;:EXT:POL?;DIR?;FREQ?"),
              "10000000;1.096;339;NORM;OUTP;1000000\n");
}

TEST(Scpi, GeneratorFaultsGiveHardwareErrors) {
    const scpi::Fault missing{true, ""};
    const scpi::Fault failed{false, "HidD_SetFeature: Broken pipe\r\n"};
    struct Case {
        const char* message;
        std::string response;
        std::size_t sent;  // reports that reached the generator before the fault
    };
    const Case cases[] = {
        {"FREQ 1e6", "", 0}, {"EXT:POL INV", "", 0}, {"FREQ?", "", 0},      {"EXT:DIR?", "", 0},
        {"*IDN?", "", 0},    {"*RST", "", 3},        {"*TST?", "1;1\n", 0},
    };
    for (const auto& fault : {missing, failed}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(c.message);
            RecordingGenerator generator;
            generator.identityFault = generator.readFault = generator.sendFault = fault;
            generator.sendsBeforeFault = c.sent;
            scpi::Instrument instrument(generator);
            EXPECT_EQ(instrument.execute(std::string(c.message) + ";*OPC?"), c.response);
            EXPECT_EQ(generator.sent.size(), c.sent);
            const std::vector<std::string> errors = drainErrors(instrument);
            if (c.response == "1;1\n") {
                EXPECT_TRUE(errors.empty());  // *TST? answers the fault itself
            } else {
                EXPECT_EQ(
                    errors,
                    std::vector<std::string>{
                        fault.missing ? "-241,\"Hardware missing\""
                                      : "-240,\"Hardware error;HidD_SetFeature: Broken pipe\""});
            }
        }
    }
}

}  // namespace
}  // namespace tpg::test
