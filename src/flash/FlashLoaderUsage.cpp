#include "base/JobConsole.h"
#include "flash/FlashLoader.h"

namespace pellux {

void printFlashLoaderUsage(JobConsole& console) {
  static const char* const kLines[] = {
      "PUpdate UART Flash Loader command line v1.0 \n\n",
      " Usage : \n\n",
      " FlashLoader [options] [Agrument][[options] [Agrument]...] \n\n",
      "  -?                   (Show this help) \n",
      "  -c                   (Establish connection to the COM port) \n",
      "     --pn  port_nb     : e.g: 1, 2 ..., default 1 \n",
      "     --br  baud_rate   : e.g: 115200, 57600 ..., default 57600 \n",
      "     --db  data_bits   : value in {5,6,7,8} ..., default 8 \n",
      "     --pr  parity      : value in {NONE,ODD,EVEN} ..., default EVEN \n",
      "     --sb  stop_bits   : value in {1,1.5,2} ..., default 1 \n",
      "     --ec  echo        : value OFF or ECHO or LISTEN ..., default is OFF \n",
      "     --co  control     : Enable or Disable RTS and DTR outputs control  \n",
      "                       : value OFF or ON ..., default is OFF \n",
      "     --to  time_out    : (ms) e.g 1000, 2000, 3000 ..., default 5000 \n",
      "  -Rts                 (set Rts line to Hi, Lo)\n",
      "     --State           : State in {Hi, Lo} \n",
      "  -Dtr                 (Set Rts line to Hi, Lo)\n",
      "     --State           : State in {Hi, Lo}\n",
      "  -i  device_name      (e.g STM32_Low-density_16K, [See the Map directory]) \n",
      "  -e                   (erase flash pages\n",
      "     --all all pages   : erase all pages\n",
      "     --sec number_of_pages_group pages_group_codes : erase specified group pages \n",
      "  -u                   (Upload flash contents to a .bin, .hex or .s19 file )\n",
      "     --fn  file_name   : full path name of the file \n",
      "  -d                   (Download the content of a file into MCU flash) \n",
      "     --a   address(hex): start @ in hex ; ignored if it is not a binary file \n",
      "     --fn  file_name   : full path name (.bin, .hex or .s19 file) \n",
      "     --v               : verify after download \n",
      "     --o               : optimize; removes FFs data \n",
      "  -r                   (Run the flash code at the specified address \n",
      "     --a address(hex)  : address in hexadecimal) \n",
      "  -p        (Enable or Disable protections) \n",
      "     --ewp  : enable write protection for sector codes (e.g 1,2,etc.) \n",
      "     --dwp  : disable write protection \n",
      "     --drp  : disable read protection \n",
      "     --erp  : enable read protection, all arguments following this one will fail \n",
      "  -o              (Get or Set STM32F1x option bytes: use -d command for others!) \n",
      "     --get --fn file_name : get option bytes from the device \n",
      "                            and write it in the specified file \n",
      "     --set --fn file_name : load option bytes from the specified file \n",
      "                            and write it to the device \n",
      "     --set --vals --OPB hex_val : set the specified option byte; OPB in: User, \n",
      "                                  RDP, Data0, Data1, WRP0, WRP1, WRP2, WRP3 \n",
  };
  for (const char* line : kLines) console.Write(line);
}

void printFlashLoaderUsage() {
  printFlashLoaderUsage(ActiveConsole());
}

}  // namespace pellux
