[TAVRINE]
Type: SendDir
Revision: A

[DOCUMENT]
File: SEND0001.G3F
Comment: Order confirmation to Okafor Imports
[MESSAGE]
AssocFile: SEND0001.G3F
Accepted: 26-12-10 09:30:00
Type: SEND
Status: Wa
UserStatus: Wa

[DOCUMENT]
File: SEND0002.G3F
Comment: Delivery note
[MESSAGE]
AssocFile: SEND0002.G3F
Accepted: 26-12-10 09:35:12
Type: SEND
Status: Se
UserStatus: Wa

[DOCUMENT]
File: SEND0003.G3F
Comment: Invoice 4471
[MESSAGE]
AssocFile: SEND0003.G3F
Accepted: 26-12-10 08:55:40
Type: SEND
Status: OK
UserStatus: Wa

[DOCUMENT]
File: SEND0004.G3F
Comment: Quote - number unobtainable
[MESSAGE]
AssocFile: SEND0004.G3F
Accepted: 26-12-10 09:01:19
Type: SEND
Status: Fa
UserStatus: Wa

[DOCUMENT]
File: SEND0005.G3F
Comment: Contract draft (held)
[MESSAGE]
AssocFile: SEND0005.G3F
Accepted: 26-12-10 09:20:00
Type: SEND
Status: He
UserStatus: Wa
