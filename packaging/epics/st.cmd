#!../../bin/linux-x86_64/trelvixPulse
# An IOC for one Trelvix Pulse Generator served by `trelvix-pulse-cli serve`
# on HOST:5025. Build an IOC application with asyn and StreamDevice (its
# dbd: base.dbd, asyn.dbd, drvAsynIPPort.dbd, stream.dbd), copy
# trelvix-pulse.proto and trelvix-pulse.db next to this file, replace HOST.

< envPaths
epicsEnvSet("STREAM_PROTOCOL_PATH", ".")

dbLoadDatabase("$(TOP)/dbd/trelvixPulse.dbd")
trelvixPulse_registerRecordDeviceDriver(pdbbase)

# The generator's SCPI port; serve answers one line per query, LF-ended.
drvAsynIPPortConfigure("TPG", "HOST:5025")

dbLoadRecords("trelvix-pulse.db", "P=TPG:,PORT=TPG")

iocInit
