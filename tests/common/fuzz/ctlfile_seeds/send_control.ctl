[TAVRINE]
Type: SendControl
Revision: A

[OPTIONS]
Port: COM1
PortSpeed: 9600
; comment

[ADDRESSEES]
To: "Smith, J", 555 1234
