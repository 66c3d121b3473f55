[TAVRINE]
Type: ReceiveDir
Revision: A

[DOCUMENT]
File: RECD0001.G3N
Comment: Quarterly figures from head office
[MESSAGE]
Format: G3N
Accepted: 26-12-09 16:42:10
Type: RECEIVE
Status: OK
UserStatus: Wa

[DOCUMENT]
File: RECD0002.G3N
Comment: Price list - Miller & Sons
[MESSAGE]
Format: G3N
Accepted: 26-12-10 08:05:51
Type: RECEIVE
Status: OK
UserStatus: OK

[DOCUMENT]
File: RECD0003.G3N
Comment: Incomplete call
[MESSAGE]
Format: G3N
Accepted: 26-12-10 09:12:30
Type: RECEIVE
Status: Fa
UserStatus: Wa

[DOCUMENT]
File: RECD0004.G3N
Comment: Arriving now
[MESSAGE]
Format: G3N
Accepted: 26-12-10 09:40:02
Type: RECEIVE
Status: Re
UserStatus: Wa
