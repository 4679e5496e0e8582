# An independent Modbus TCP server (pymodbus) for the link tests: unit 1 holds registers 0-99
# with the values 0-99; everything else is refused as the library refuses it.
import sys

from pymodbus.datastore import (ModbusSequentialDataBlock, ModbusServerContext,
                                ModbusSlaveContext)
from pymodbus.server import StartTcpServer

port = int(sys.argv[1])
unit = ModbusSlaveContext(hr=ModbusSequentialDataBlock(0, list(range(100))), zero_mode=True)
StartTcpServer(context=ModbusServerContext(slaves={1: unit}, single=False),
               address=("127.0.0.1", port))
