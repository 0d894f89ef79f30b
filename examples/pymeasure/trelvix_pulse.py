"""The Trelvix Pulse Generator as a pymeasure instrument.

The generator is reached through `trelvix-pulse-cli serve` on the machine it
is plugged into (SCPI over a raw TCP socket):

    from trelvix_pulse import TrelvixPulse
    gen = TrelvixPulse("TCPIP0::127.0.0.1::5025::SOCKET")
    gen.frequency = 12.5e6        # Hz
    gen.amplitude = 0.8           # V into 50 ohm, the nearest step
    print(gen.id, gen.frequency, gen.amplitude)

Values out of range are refused here before anything is sent; whatever the
generator refuses raises TrelvixPulseError with its SCPI error.
"""
from pymeasure.instruments import Instrument
from pymeasure.instruments.validators import strict_discrete_set, strict_range


class TrelvixPulseError(Exception):
    """Errors the generator queued, as (code, message) pairs."""


class TrelvixPulse(Instrument):
    frequency = Instrument.control(
        "FREQ?", "FREQ %s",
        """Pulse frequency in Hz, 25 kHz to 350 MHz (a fraction is rounded).""",
        validator=strict_range, values=[25e3, 350e6], check_set_errors=True)
    amplitude = Instrument.control(
        "VOLT?", "VOLT %s",
        """Amplitude into 50 ohm in volts, 0.049 to 1.624: the nearest step.""",
        validator=strict_range, values=[0.049, 1.624], check_set_errors=True)
    amplitude_index = Instrument.control(
        "VOLT:IND?", "VOLT:IND %d",
        """Amplitude step, 0 to 510.""",
        validator=strict_range, values=[0, 510], get_process=int, check_set_errors=True)
    polarity = Instrument.control(
        "EXT:POL?", "EXT:POL %s",
        """Pulse polarity: "normal" or "inverted".""",
        validator=strict_discrete_set, values={"normal": "NORM", "inverted": "INV"},
        map_values=True, check_set_errors=True)
    trigger = Instrument.control(
        "EXT:DIR?", "EXT:DIR %s",
        """The trigger/sync connector: "output" (trigger output) or "sync" (sync input).""",
        validator=strict_discrete_set, values={"output": "OUTP", "sync": "INP"},
        map_values=True, check_set_errors=True)
    sync_frequency = Instrument.control(
        "EXT:FREQ?", "EXT:FREQ %s",
        """Expected sync input frequency in Hz, 1 MHz to 300 MHz.""",
        validator=strict_range, values=[1e6, 300e6], check_set_errors=True)

    def __init__(self, adapter, name="Trelvix Pulse Generator", **kwargs):
        kwargs.setdefault("visa_library", "@py")
        kwargs.setdefault("read_termination", "\n")
        kwargs.setdefault("write_termination", "\n")
        kwargs.setdefault("timeout", 5000)
        super().__init__(adapter, name, **kwargs)

    def reset(self):
        """Restores the default settings (*RST)."""
        self.write("*RST")
        self.check_errors()

    def check_errors(self):
        """Reads the error queue; raises TrelvixPulseError when it held any."""
        errors = []
        while True:
            code, message = self.ask("SYST:ERR?").strip().split(",", 1)
            if int(code) == 0:
                break
            errors.append((int(code), message.strip('"')))
        if errors:
            raise TrelvixPulseError(errors)
        return errors
