// TransferFile and its helpers land here.
