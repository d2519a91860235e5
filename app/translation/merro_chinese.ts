<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>HistoryDialog</name>
    <message>
        <source>Arrived</source>
        <translation>已下载</translation>
    </message>
    <message>
        <source>Kept beside an older recording</source>
        <translation>另存于同名旧录像旁</translation>
    </message>
    <message>
        <source>Beside %1</source>
        <translation>与 %1 并存</translation>
    </message>
    <message>
        <source>Freed from the card</source>
        <translation>已从卡中删除</translation>
    </message>
    <message>
        <source>Removed by retention</source>
        <translation>已按保留期限删除</translation>
    </message>
    <message>
        <source>Holds its checksum</source>
        <translation>校验和一致</translation>
    </message>
    <message>
        <source>Changed since it arrived</source>
        <translation>下载后已被改动</translation>
    </message>
    <message>
        <source>Missing</source>
        <translation>缺失</translation>
    </message>
    <message>
        <source>History of %1</source>
        <translation>%1 的历史记录</translation>
    </message>
    <message>
        <source>Filter by name or date</source>
        <translation>按名称或日期筛选</translation>
    </message>
    <message>
        <source>When</source>
        <translation>时间</translation>
    </message>
    <message>
        <source>What</source>
        <translation>事件</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>名称</translation>
    </message>
    <message>
        <source>File</source>
        <translation>文件</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>大小</translation>
    </message>
    <message>
        <source>Checksum</source>
        <translation>校验和</translation>
    </message>
    <message>
        <source>Open Folder</source>
        <translation>打开文件夹</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Verify</source>
        <translation>校验</translation>
    </message>
    <message>
        <source>Reads every file the journal says the folder holds and compares it with the checksum taken when it arrived.</source>
        <translation>读取下载日志记载的文件夹中的每个文件，并与下载时计算的校验和比较。</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>关闭</translation>
    </message>
    <message>
        <source>Cannot open %1.</source>
        <translation>无法打开 %1。</translation>
    </message>
    <message>
        <source>%1 holds no journal yet.</source>
        <translation>%1 中还没有下载日志。</translation>
    </message>
    <message>
        <source>%1 events in the journal of %2.</source>
        <translation>%2 的下载日志中有 %1 条记录。</translation>
    </message>
    <message>
        <source>Verifying %1 files...</source>
        <translation>正在校验 %1 个文件...</translation>
    </message>
    <message>
        <source>Checksums held: %1; changed: %2; missing: %3.</source>
        <translation>校验和一致：%1 个；已改动：%2 个；缺失：%3 个。</translation>
    </message>
    <message>
        <source>Cancelled: %1 of %2 files not checked.</source>
        <translation>已取消：%2 个文件中有 %1 个未校验。</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>language:</source>
        <translation>语言：</translation>
    </message>
    <message>
        <source>HardwareType:</source>
        <translation>硬件类型：</translation>
    </message>
    <message>
        <source>HardwareVersion:</source>
        <translation>硬件版本：</translation>
    </message>
    <message>
        <source>SoftwareVersion:</source>
        <translation>软件版本：</translation>
    </message>
    <message>
        <source>ProtocolVersion:</source>
        <translation>协议版本：</translation>
    </message>
    <message>
        <source>BootloaderVersion:</source>
        <translation>Bootloader版本：</translation>
    </message>
    <message>
        <source>Link Device</source>
        <translation>连接设备</translation>
    </message>
    <message>
        <source>Browse Files in Card</source>
        <translation>浏览相机卡内文件</translation>
    </message>
    <message>
        <source>Download File</source>
        <translation>下载选中文件</translation>
    </message>
    <message>
        <source>Delete File</source>
        <translation>删除选中文件</translation>
    </message>
    <message>
        <source>Delete All Files</source>
        <translation>删除卡内所有文件</translation>
    </message>
    <message>
        <source>Format Card</source>
        <translation>格式化卡</translation>
    </message>
    <message>
        <source>Select All</source>
        <translation>全选</translation>
    </message>
    <message>
        <source>File Operate</source>
        <translation>文件操作</translation>
    </message>
    <message>
        <source>Version Information</source>
        <translation>版本信息</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>名称</translation>
    </message>
    <message>
        <source>Date</source>
        <translation>日期</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>大小</translation>
    </message>
    <message>
        <source>Duration</source>
        <translation>时长</translation>
    </message>
    <message>
        <source>Link Success!</source>
        <translation>连接成功！</translation>
    </message>
    <message>
        <source>Link Fail!</source>
        <translation>连接失败！</translation>
    </message>
    <message>
        <source>Download Progress:</source>
        <translation>下载进度：</translation>
    </message>
    <message>
        <source>not a plain card file name</source>
        <translation>不是有效的卡内文件名</translation>
    </message>
    <message>
        <source>no network socket</source>
        <translation>无法创建网络套接字</translation>
    </message>
    <message>
        <source>camera not reachable</source>
        <translation>无法连接相机</translation>
    </message>
    <message>
        <source>no reply from the camera</source>
        <translation>相机无应答</translation>
    </message>
    <message>
        <source>reply header too large</source>
        <translation>应答头过大</translation>
    </message>
    <message>
        <source>the camera answered %1</source>
        <translation>相机应答 %1</translation>
    </message>
    <message>
        <source>unsupported reply</source>
        <translation>不支持的应答格式</translation>
    </message>
    <message>
        <source>transfer cut short</source>
        <translation>传输中断</translation>
    </message>
    <message>
        <source>the camera stopped sending</source>
        <translation>相机停止发送数据</translation>
    </message>
    <message>
        <source>cannot create the local file</source>
        <translation>无法创建本地文件</translation>
    </message>
    <message>
        <source>cannot write to disk (disk full?)</source>
        <translation>无法写入磁盘（磁盘已满？）</translation>
    </message>
    <message>
        <source>stopped</source>
        <translation>已停止</translation>
    </message>
    <message>
        <source>%1 not downloaded: %2</source>
        <translation>%1 未下载：%2</translation>
    </message>
    <message>
        <source>%1 of %2 files downloaded</source>
        <translation>已下载 %1 个文件，共 %2 个</translation>
    </message>
    <message>
        <source>%1; not downloaded: %2</source>
        <translation>%1；未下载：%2</translation>
    </message>
    <message>
        <source>%1 MB/s</source>
        <translation>%1 MB/秒</translation>
    </message>
    <message>
        <source>%1 MB/s, %2 left</source>
        <translation>%1 MB/秒，剩余 %2</translation>
    </message>
    <message>
        <source>Yes</source>
        <translation>是</translation>
    </message>
    <message>
        <source>No</source>
        <translation>否</translation>
    </message>
    <message>
        <source>Delete the %1 selected files from the card?</source>
        <translation>确定从卡中删除选中的 %1 个文件吗？</translation>
    </message>
    <message>
        <source>Delete every file on the card?</source>
        <translation>确定删除卡内所有文件吗？</translation>
    </message>
    <message>
        <source>Format the card? Every file on it will be lost.</source>
        <translation>确定格式化卡吗？卡内所有文件都将丢失。</translation>
    </message>
    <message>
        <source>Could not read the card&apos;s file list.</source>
        <translation>无法读取卡内文件列表。</translation>
    </message>
    <message>
        <source>Reading file details: %1 of %2</source>
        <translation>正在读取文件信息：%1 / %2</translation>
    </message>
    <message>
        <source>The camera stopped answering: no details for %1 of %2 files.</source>
        <translation>相机停止响应：%2 个文件中有 %1 个没有读到信息。</translation>
    </message>
    <message>
        <source>Details of %1 files could not be read.</source>
        <translation>有 %1 个文件的信息未能读取。</translation>
    </message>
    <message>
        <source>%1 entries of the card&apos;s list were left out: unsafe names or more than %2 files.</source>
        <translation>卡内文件列表中有 %1 项被略去：名称不安全或文件超过 %2 个。</translation>
    </message>
    <message>
        <source>%1 of %2 selected files could not be deleted.</source>
        <translation>选中的 %2 个文件中有 %1 个未能删除。</translation>
    </message>
    <message>
        <source>The camera did not confirm deleting all files.</source>
        <translation>相机未确认已删除所有文件。</translation>
    </message>
    <message>
        <source>The camera did not confirm formatting the card.</source>
        <translation>相机未确认已格式化卡。</translation>
    </message>
    <message>
        <source>The camera counts %1 files but listed %2.</source>
        <translation>相机报告共有 %1 个文件，但只列出了 %2 个。</translation>
    </message>
    <message>
        <source>The card&apos;s file list was cut off after %1 files.</source>
        <translation>卡内文件列表在 %1 个文件之后被截断。</translation>
    </message>
    <message>
        <source>Could not read the card&apos;s file list. The rows shown are from an earlier listing.</source>
        <translation>无法读取卡内文件列表。表中所示为之前读取的列表。</translation>
    </message>
    <message>
        <source>Already in DCIM/</source>
        <translation>已在 DCIM/ 中</translation>
    </message>
    <message>
        <source>DCIM/ holds a copy of another size (%1 bytes)</source>
        <translation>DCIM/ 中的副本大小不同（%1 字节）</translation>
    </message>
    <message>
        <source>%1 of the %2 listed files are already in DCIM/.</source>
        <translation>列出的 %2 个文件中有 %1 个已在 DCIM/ 中。</translation>
    </message>
    <message>
        <source>The card&apos;s contents are not fully known: list the card to see which recordings are not in DCIM/ yet.</source>
        <translation>卡内内容尚未完全确定：请浏览卡内文件，以查看哪些录像尚未保存到 DCIM/。</translation>
    </message>
    <message>
        <source>%1 of the %2 recordings on the card are not in DCIM/ yet.</source>
        <translation>卡内 %2 个录像中有 %1 个尚未保存到 DCIM/。</translation>
    </message>
    <message>
        <source>%1 of the %2 selected recordings are not in DCIM/ yet.</source>
        <translation>选中的 %2 个录像中有 %1 个尚未保存到 DCIM/。</translation>
    </message>
    <message>
        <source>Select files not yet in DCIM/</source>
        <translation>选择尚未保存到 DCIM/ 的文件</translation>
    </message>
    <message>
        <source>Not enough free space in DCIM/: %1 needed, %2 free.</source>
        <translation>DCIM/ 所在磁盘空间不足：需要 %1，可用 %2。</translation>
    </message>
    <message>
        <source>The camera stopped sending; retrying (%1 of %2)</source>
        <translation>相机停止发送数据；正在重试（第 %1 次，共 %2 次）</translation>
    </message>
    <message>
        <source>Connection lost; retrying (%1 of %2)</source>
        <translation>连接中断；正在重试（第 %1 次，共 %2 次）</translation>
    </message>
    <message>
        <source>Cancelled: %1 of %2 files downloaded.</source>
        <translation>已取消：已下载 %1 个文件，共 %2 个。</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Camera %1:%2</source>
        <translation>相机 %1:%2</translation>
    </message>
    <message>
        <source>A download is running: it will be stopped first.</source>
        <translation>正在下载：将先停止下载。</translation>
    </message>
    <message>
        <source>A download is running: it waits while the files are deleted, and the deleted files leave its queue.</source>
        <translation>正在下载：删除文件时下载暂停，被删除的文件将移出下载队列。</translation>
    </message>
    <message>
        <source>Download stopped to delete all files: %1 of %2 files downloaded.</source>
        <translation>为删除所有文件已停止下载：已下载 %1 个文件，共 %2 个。</translation>
    </message>
    <message>
        <source>Download stopped to format the card: %1 of %2 files downloaded.</source>
        <translation>为格式化卡已停止下载：已下载 %1 个文件，共 %2 个。</translation>
    </message>
    <message>
        <source>Already in DCIM/ as %1</source>
        <translation>已在 DCIM/ 中，名为 %1</translation>
    </message>
    <message>
        <source>DCIM/ holds another recording of this name</source>
        <translation>DCIM/ 中有另一个同名录像</translation>
    </message>
    <message>
        <source>%1, %2 already in DCIM/</source>
        <translation>%1，%2 个已在 DCIM/ 中</translation>
    </message>
    <message>
        <source>Not downloading: %1.</source>
        <translation>未下载：%1。</translation>
    </message>
    <message>
        <source>Sync</source>
        <translation>同步</translation>
    </message>
    <message>
        <source>Download new recordings</source>
        <translation>下载新录像</translation>
    </message>
    <message>
        <source>Delete recordings already in DCIM/</source>
        <translation>删除已保存到 DCIM/ 的录像</translation>
    </message>
    <message>
        <source>Download new recordings when linked</source>
        <translation>连接后自动下载新录像</translation>
    </message>
    <message>
        <source>Open the download folder</source>
        <translation>打开下载文件夹</translation>
    </message>
    <message>
        <source>Link the device first.</source>
        <translation>请先连接设备。</translation>
    </message>
    <message>
        <source>Nothing new: every listed recording is in DCIM/ already.</source>
        <translation>没有新录像：列出的录像都已保存到 DCIM/。</translation>
    </message>
    <message>
        <source>Waiting: %1.</source>
        <translation>等待中：%1。</translation>
    </message>
    <message>
        <source>No recording on the card is in DCIM/ yet.</source>
        <translation>卡内录像都还未保存到 DCIM/。</translation>
    </message>
    <message>
        <source>%1 recordings stay on the card: they are not in DCIM/ yet.</source>
        <translation>%1 个录像尚未保存到 DCIM/，将留在卡内。</translation>
    </message>
    <message>
        <source>Delete the %1 recordings already in DCIM/ from the card? This frees %2.</source>
        <translation>确定从卡中删除已保存到 DCIM/ 的 %1 个录像吗？将释放 %2。</translation>
    </message>
    <message>
        <source>%1 recordings deleted from the card, %2 freed.</source>
        <translation>已从卡中删除 %1 个录像，释放 %2。</translation>
    </message>
    <message>
        <source>Cannot open %1.</source>
        <translation>无法打开 %1。</translation>
    </message>
    <message>
        <source>another program holds %1</source>
        <translation>另一个程序正在使用 %1</translation>
    </message>
    <message>
        <source>%1 (process %2 on %3) holds %4</source>
        <translation>%1（%3 上的进程 %2）正在使用 %4</translation>
    </message>
    <message>
        <source>the camera</source>
        <translation>相机</translation>
    </message>
    <message>
        <source>the camera did not answer</source>
        <translation>相机没有应答</translation>
    </message>
    <message>
        <source>no length to tell a whole file from a part of one</source>
        <translation>回复没有长度，无法判断文件是否完整</translation>
    </message>
    <message>
        <source>%1 alone needs %2.</source>
        <translation>仅 %1 就需要 %2。</translation>
    </message>
    <message>
        <source>no answer from the camera</source>
        <translation>相机没有应答</translation>
    </message>
    <message>
        <source>the camera said: %1</source>
        <translation>相机回复：%1</translation>
    </message>
    <message>
        <source>not checked</source>
        <translation>未核对</translation>
    </message>
    <message>
        <source>still on the card after its delete</source>
        <translation>删除后仍在卡上</translation>
    </message>
    <message>
        <source>not in DCIM/</source>
        <translation>不在 DCIM/ 中</translation>
    </message>
    <message>
        <source>its copy is not a regular file</source>
        <translation>其副本不是普通文件</translation>
    </message>
    <message>
        <source>its time cannot be read</source>
        <translation>无法读取其时间</translation>
    </message>
    <message>
        <source>it grew since it was copied</source>
        <translation>复制后它又变大了</translation>
    </message>
    <message>
        <source>it differs from the file in DCIM/</source>
        <translation>它与 DCIM/ 中的文件不同</translation>
    </message>
    <message>
        <source>no longer on the card</source>
        <translation>已不在卡上</translation>
    </message>
    <message>
        <source>the camera did not answer the check</source>
        <translation>相机没有应答核对请求</translation>
    </message>
    <message>
        <source>Cannot write to the download folder %1: %2. Choose another with --dcim DIR or the setting download/dcim.</source>
        <translation>无法写入下载文件夹 %1：%2。请用 --dcim 目录 或设置 download/dcim 另选一个。</translation>
    </message>
    <message>
        <source>Cannot lock the camera in %1: %2.</source>
        <translation>无法在 %1 中锁定相机：%2。</translation>
    </message>
    <message>
        <source>%1 of %2 selected files could not be deleted: %3.</source>
        <translation>选中的 %2 个文件中有 %1 个未能删除：%3。</translation>
    </message>
    <message>
        <source>Checking the card&apos;s recordings against DCIM/...</source>
        <translation>正在将卡上的录像与 DCIM/ 核对……</translation>
    </message>
    <message>
        <source>Checking the selected recordings against DCIM/...</source>
        <translation>正在将选中的录像与 DCIM/ 核对……</translation>
    </message>
    <message>
        <source>%1 of them were not checked against the card.</source>
        <translation>其中 %1 个未与卡核对。</translation>
    </message>
    <message>
        <source>Checking and deleting the recordings already in DCIM/...</source>
        <translation>正在核对并删除已在 DCIM/ 中的录像……</translation>
    </message>
    <message>
        <source>%1 of %2 recordings stay on the card: %3.</source>
        <translation>%2 个录像中有 %1 个留在卡上：%3。</translation>
    </message>
    <message>
        <source>%1 recordings deleted from the card, %2 freed; the card could not be listed again to see them gone.</source>
        <translation>已从卡上删除 %1 个录像，释放 %2；但无法再次列出卡上文件以确认它们已删除。</translation>
    </message>
    <message>
        <source>%1 is a link: it was left alone.</source>
        <translation>%1 是一个链接：未动它。</translation>
    </message>
    <message>
        <source>%1 arrived, but the download journal could not be written.</source>
        <translation>%1 已下载，但无法写入下载日志。</translation>
    </message>
    <message>
        <source>%1, %2 left on the card for retention</source>
        <translation>%1，%2 个按保留规则留在卡上</translation>
    </message>
    <message>
        <source>History...</source>
        <translation>历史记录...</translation>
    </message>
    <message>
        <source>older than %1 days</source>
        <translation>超过 %1 天</translation>
    </message>
    <message>
        <source>the download folder was over %1 bytes</source>
        <translation>下载文件夹超过 %1 字节</translation>
    </message>
    <message>
        <source>Removed by retention: %1 (%2).</source>
        <translation>按保留规则已删除：%1（%2）。</translation>
    </message>
</context>
</TS>
