<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ja">
<context>
    <name>ActivityLog</name>
    <message>
        <source>ERROR : ログファイルエラー</source>
        <translation>ERROR : log file error</translation>
    </message>
    <message>
        <source>動作を検知しました</source>
        <translation>Motion detected</translation>
    </message>
    <message>
        <source>日別ディレクトリの作成に失敗</source>
        <translation>Could not create the day folder</translation>
    </message>
    <message>
        <source>画像の保存に失敗</source>
        <translation>Could not save the picture</translation>
    </message>
    <message>
        <source>ファイルのオープンに失敗</source>
        <translation>Could not open a file</translation>
    </message>
</context>
<context>
    <name>CAboutDialog</name>
    <message>
        <source>Quillomat - バージョン情報</source>
        <translation>Quillomat - About</translation>
    </message>
    <message>
        <source>Quillomat バージョン %1
Webカメラの写真日記

クリックすると閉じます</source>
        <translation>Quillomat version %1
Webcam photo diary

Click to close</translation>
    </message>
</context>
<context>
    <name>CAppConfigDlg</name>
    <message>
        <source>アプリケーション設定</source>
        <translation>Application Settings</translation>
    </message>
    <message>
        <source>スタートアップ</source>
        <translation>Start-up</translation>
    </message>
    <message>
        <source>秒後に起動する</source>
        <translation>seconds until start</translation>
    </message>
    <message>
        <source>起動までの秒数をダイアログで表示する</source>
        <translation>Show a countdown window while waiting</translation>
    </message>
    <message>
        <source>ショートカット作成</source>
        <translation>Create Shortcut</translation>
    </message>
    <message>
        <source>ショートカット削除</source>
        <translation>Delete Shortcut</translation>
    </message>
    <message>
        <source>ログファイル</source>
        <translation>Log File</translation>
    </message>
    <message>
        <source>ログをファイルに出力する</source>
        <translation>Write the log to a file</translation>
    </message>
    <message>
        <source>ログファイルを開く</source>
        <translation>Open Log File</translation>
    </message>
    <message>
        <source>ログファイルを削除</source>
        <translation>Delete Log File</translation>
    </message>
    <message>
        <source>終了の設定</source>
        <translation>Closing</translation>
    </message>
    <message>
        <source>閉じるボタンでアプリケーションを終了しない</source>
        <translation>The close button does not end the application</translation>
    </message>
    <message>
        <source>JPEG保存画質</source>
        <translation>JPEG Quality</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>ログファイルが存在しません</source>
        <translation>There is no log file.</translation>
    </message>
    <message>
        <source>ログファイルを削除します</source>
        <translation>The log file will be deleted.</translation>
    </message>
    <message>
        <source>スタートアップフォルダにQuillomatのショートカットを作成します</source>
        <translation>A shortcut to Quillomat will be created in the autostart folder.</translation>
    </message>
    <message>
        <source>ショートカットが存在しません</source>
        <translation>There is no shortcut.</translation>
    </message>
    <message>
        <source>スタートアップフォルダのQuillomatのショートカットを削除します</source>
        <translation>The shortcut to Quillomat will be deleted from the autostart folder.</translation>
    </message>
</context>
<context>
    <name>CDeviceFormatDialog</name>
    <message>
        <source>ビデオ形式</source>
        <translation>Video Format</translation>
    </message>
    <message>
        <source>サイズ</source>
        <translation>Size</translation>
    </message>
    <message>
        <source>フレームレート</source>
        <translation>Frame rate</translation>
    </message>
</context>
<context>
    <name>CDeviceSelectDialog</name>
    <message>
        <source>デバイス選択</source>
        <translation>Select Device</translation>
    </message>
    <message>
        <source>映像入力デバイスを選択してください。</source>
        <translation>Select the video input device.</translation>
    </message>
    <message>
        <source>映像入力デバイス</source>
        <translation>Video input device</translation>
    </message>
</context>
<context>
    <name>CDiarySetupDialog</name>
    <message>
        <source>保存先のフォルダを選択してください</source>
        <translation>Select the folder to store the pictures in</translation>
    </message>
    <message>
        <source>キャプチャ設定</source>
        <translation>Capture Settings</translation>
    </message>
    <message>
        <source>画像保存先ディレクトリ</source>
        <translation>Picture Folder</translation>
    </message>
    <message>
        <source>参照</source>
        <translation>Browse</translation>
    </message>
    <message>
        <source>撮影間隔</source>
        <translation>Interval</translation>
    </message>
    <message>
        <source>時間</source>
        <translation>h</translation>
    </message>
    <message>
        <source>分</source>
        <translation>m</translation>
    </message>
    <message>
        <source>秒間隔</source>
        <translation>s</translation>
    </message>
    <message>
        <source>動作検知設定</source>
        <translation>Motion Detection</translation>
    </message>
    <message>
        <source>動作検知保存を使用する</source>
        <translation>Store a picture on motion</translation>
    </message>
    <message>
        <source>レベル</source>
        <translation>Level</translation>
    </message>
    <message>
        <source>検査間隔</source>
        <translation>Check every</translation>
    </message>
    <message>
        <source>画像保存最短間隔</source>
        <translation>Least interval</translation>
    </message>
    <message>
        <source>適用</source>
        <translation>Apply</translation>
    </message>
    <message>
        <source>動作変化量グラフ</source>
        <translation>Motion level graph</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>時間</source>
        <comment>hours field</comment>
        <translation>Hours</translation>
    </message>
    <message>
        <source>分</source>
        <comment>minutes field</comment>
        <translation>Minutes</translation>
    </message>
    <message>
        <source>秒間隔</source>
        <comment>seconds field</comment>
        <translation>Seconds</translation>
    </message>
</context>
<context>
    <name>CExtraSetupDialog</name>
    <message>
        <source>拡張設定</source>
        <translation>Extra Settings</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>CHtmlSetupDialog</name>
    <message>
        <source>HTML設定</source>
        <translation>HTML Settings</translation>
    </message>
    <message>
        <source>日別画像HTMLの自動作成</source>
        <translation>Day Pages</translation>
    </message>
    <message>
        <source>日別画像HTMLを自動作成する</source>
        <translation>Write a page for every day</translation>
    </message>
    <message>
        <source>HTMLファイル名</source>
        <translation>File name</translation>
    </message>
    <message>
        <source>新しい画像から順に表示する</source>
        <translation>Newest pictures first</translation>
    </message>
    <message>
        <source>画像サイズ</source>
        <translation>Picture size</translation>
    </message>
    <message>
        <source>WEBページが自動更新するようにする</source>
        <translation>Let the page reload itself</translation>
    </message>
    <message>
        <source>更新間隔</source>
        <translation>Every</translation>
    </message>
    <message>
        <source>秒</source>
        <translation>s</translation>
    </message>
    <message>
        <source>リセット</source>
        <translation>Reset</translation>
    </message>
    <message>
        <source>デフォルト</source>
        <translation>Default</translation>
    </message>
    <message>
        <source>インデックスHTMLの自動作成</source>
        <translation>Index Page</translation>
    </message>
    <message>
        <source>インデックスHTMLを自動作成する</source>
        <translation>Write the index page</translation>
    </message>
    <message>
        <source>最新画像を表示する</source>
        <translation>Show the newest pictures</translation>
    </message>
    <message>
        <source>表示枚数</source>
        <translation>Pictures</translation>
    </message>
    <message>
        <source>カレンダー</source>
        <translation>Calendar</translation>
    </message>
    <message>
        <source>カレンダーを表示する</source>
        <translation>Show the calendar</translation>
    </message>
    <message>
        <source>新しい月から表示する</source>
        <translation>Newest month first</translation>
    </message>
    <message>
        <source>最大</source>
        <translation>Up to</translation>
    </message>
    <message>
        <source>ヶ月分</source>
        <translation>months</translation>
    </message>
    <message>
        <source>列数</source>
        <translation>Columns</translation>
    </message>
    <message>
        <source>フォントサイズ</source>
        <translation>Font size</translation>
    </message>
    <message>
        <source>インデックスHTMLの修正</source>
        <translation>Index Page Texts</translation>
    </message>
    <message>
        <source>タイトル</source>
        <translation>Title</translation>
    </message>
    <message>
        <source>上部追加HTMLコード</source>
        <translation>HTML code at the top</translation>
    </message>
    <message>
        <source>下部追加HTMLコード</source>
        <translation>HTML code at the bottom</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>CMainDialog</name>
    <message>
        <source>スナップショット</source>
        <translation>Snapshot</translation>
    </message>
    <message>
        <source>入力デバイス変更</source>
        <translation>Change Device</translation>
    </message>
    <message>
        <source>入力機器変更</source>
        <translation>Change device</translation>
    </message>
    <message>
        <source>入力設定</source>
        <translation>Device settings</translation>
    </message>
    <message>
        <source>入力のプロパティ</source>
        <translation>Device Properties</translation>
    </message>
    <message>
        <source>入力プロパティ</source>
        <translation>Device properties</translation>
    </message>
    <message>
        <source>Diary設定</source>
        <translation>Diary Settings</translation>
    </message>
    <message>
        <source>キャプチャ設定</source>
        <translation>Capture settings</translation>
    </message>
    <message>
        <source>ON/OFF切替</source>
        <translation>Recording on/off</translation>
    </message>
    <message>
        <source>プレビュー</source>
        <translation>Preview</translation>
    </message>
    <message>
        <source>ログ</source>
        <translation>Log</translation>
    </message>
    <message>
        <source>ファイル(&amp;F)</source>
        <translation>&amp;File</translation>
    </message>
    <message>
        <source>スナップショット(&amp;P)</source>
        <translation>Sna&amp;pshot</translation>
    </message>
    <message>
        <source>終了(&amp;X)</source>
        <translation>E&amp;xit</translation>
    </message>
    <message>
        <source>各種設定(&amp;S)</source>
        <translation>&amp;Settings</translation>
    </message>
    <message>
        <source>アプリケーション設定(&amp;S)</source>
        <translation>&amp;Application Settings</translation>
    </message>
    <message>
        <source>キャプチャ設定(&amp;M)</source>
        <translation>&amp;Capture Settings</translation>
    </message>
    <message>
        <source>HTML出力設定(&amp;H)</source>
        <translation>&amp;HTML Settings</translation>
    </message>
    <message>
        <source>日時表示設定(&amp;T)</source>
        <translation>&amp;Time Text Settings</translation>
    </message>
    <message>
        <source>拡張設定(&amp;E)</source>
        <translation>&amp;Extra Settings</translation>
    </message>
    <message>
        <source>入力機器(&amp;D)</source>
        <translation>&amp;Device</translation>
    </message>
    <message>
        <source>変更(&amp;C)</source>
        <translation>&amp;Change</translation>
    </message>
    <message>
        <source>設定(&amp;S)</source>
        <translation>&amp;Settings</translation>
    </message>
    <message>
        <source>プロパティ(&amp;P)</source>
        <translation>&amp;Properties</translation>
    </message>
    <message>
        <source>ヘルプ(&amp;H)</source>
        <translation>&amp;Help</translation>
    </message>
    <message>
        <source>ホームページ(&amp;H)</source>
        <translation>&amp;Home Page</translation>
    </message>
    <message>
        <source>バージョン情報(&amp;A)</source>
        <translation>&amp;About Quillomat</translation>
    </message>
    <message>
        <source>タスクトレイ</source>
        <translation>Tray</translation>
    </message>
    <message>
        <source>表示/非表示(&amp;S)</source>
        <translation>&amp;Show/Hide</translation>
    </message>
    <message>
        <source>表示(&amp;S)</source>
        <translation>&amp;Show</translation>
    </message>
    <message>
        <source>非表示(&amp;S)</source>
        <translation>&amp;Hide</translation>
    </message>
</context>
<context>
    <name>CSnapshotDialog</name>
    <message>
        <source>保存</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Quillomat - スナップショット</source>
        <translation>Quillomat - Snapshot</translation>
    </message>
    <message>
        <source>スナップショット</source>
        <translation>Snapshot</translation>
    </message>
    <message>
        <source>JPEGファイル(*.jpg)</source>
        <translation>JPEG files (*.jpg)</translation>
    </message>
    <message>
        <source>全て(*.*)</source>
        <translation>All files (*.*)</translation>
    </message>
</context>
<context>
    <name>CTimeTextSetupDialog</name>
    <message>
        <source>日時表示設定</source>
        <translation>Time Text Settings</translation>
    </message>
    <message>
        <source>キャプチャした画像に日時を表示する</source>
        <translation>Draw the date and time into the pictures</translation>
    </message>
    <message>
        <source>表示位置</source>
        <translation>Position</translation>
    </message>
    <message>
        <source>横</source>
        <translation>X</translation>
    </message>
    <message>
        <source>縦</source>
        <translation>Y</translation>
    </message>
    <message>
        <source>表示文字列</source>
        <translation>Text</translation>
    </message>
    <message>
        <source>%Y=年 %M=月 %D=日 %W=曜日(英語)
%h=時 %m=分 %s=秒 %w=曜日(日本語)</source>
        <translation>%Y=year %M=month %D=day %W=weekday (English)
%h=hour %m=minute %s=second %w=weekday (Japanese)</translation>
    </message>
    <message>
        <source>フォント設定</source>
        <translation>Font</translation>
    </message>
    <message>
        <source>サイズ</source>
        <translation>Size</translation>
    </message>
    <message>
        <source>文字色</source>
        <translation>Colour</translation>
    </message>
    <message>
        <source>変更</source>
        <translation>Change</translation>
    </message>
    <message>
        <source>太文字</source>
        <translation>Bold</translation>
    </message>
    <message>
        <source>イタリック体</source>
        <translation>Italic</translation>
    </message>
    <message>
        <source>影の表示設定</source>
        <translation>Shadow</translation>
    </message>
    <message>
        <source>影を表示する</source>
        <translation>Draw a shadow</translation>
    </message>
    <message>
        <source>影の色</source>
        <translation>Colour</translation>
    </message>
    <message>
        <source>影の表示位置</source>
        <translation>Shadow position</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>CTimerDialog</name>
    <message>
        <source>今すぐ起動</source>
        <translation>Start Now</translation>
    </message>
    <message>
        <source>非表示</source>
        <translation>Hide</translation>
    </message>
    <message>
        <source>起動しない</source>
        <translation>Don&apos;t Start</translation>
    </message>
    <message>
        <source>Quillomat 起動タイマー</source>
        <translation>Quillomat Start-up Timer</translation>
    </message>
    <message>
        <source>起動タイマー</source>
        <translation>Start-up timer</translation>
    </message>
    <message numerus="yes">
        <source>%n秒後にQuillomatを起動します</source>
        <translation>
            <numerusform>Quillomat starts in %n second</numerusform>
            <numerusform>Quillomat starts in %n seconds</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>CaptureGraph</name>
    <message>
        <source>映像入力デバイスが見つかりませんでした</source>
        <translation>No video input device was found.</translation>
    </message>
    <message>
        <source>DirectShowの初期化に失敗しました。
アプリケーションを終了しますか</source>
        <translation>The camera could not be started.
Do you want to quit the application?</translation>
    </message>
</context>
<context>
    <name>DayTimelapse</name>
    <message>
        <source>タイムラプス動画を作成 %1 (%2コマ, %3秒, %4, 処理%5秒, 読めない画像%6枚を除外)</source>
        <translation>Timelapse video made: %1 (frames: %2, %3 s, %4, took %5 s, unreadable pictures left out: %6)</translation>
    </message>
    <message>
        <source>タイムラプス動画を作成 %1 (%2コマ, %3秒, %4, 処理%5秒)</source>
        <translation>Timelapse video made: %1 (frames: %2, %3 s, %4, took %5 s)</translation>
    </message>
    <message>
        <source>タイムラプス動画を作成できません %1 (読める画像がありません)</source>
        <translation>Cannot make the timelapse video of %1 (no readable picture)</translation>
    </message>
    <message>
        <source>タイムラプス動画の作成に失敗 %1 (%2)</source>
        <translation>Timelapse video of %1 failed (%2)</translation>
    </message>
</context>
<context>
    <name>DiaryEngine</name>
    <message>
        <source>Quillomatを開始しました。</source>
        <translation>Quillomat has started.</translation>
    </message>
</context>
<context>
    <name>DiaryEvents</name>
    <message>
        <source>%1: 処理が追いつかないため、あふれたイベントを数えて捨てます</source>
        <translation>%1: cannot keep up; events that overflow are counted and dropped</translation>
    </message>
</context>
<context>
    <name>DiaryPublisher</name>
    <message>
        <source>rcloneが見つからないため公開できません（sudo apt-get install rclone で入ります）</source>
        <translation>Cannot publish: rclone was not found (sudo apt-get install rclone installs it)</translation>
    </message>
    <message>
        <source>rcloneを起動できません: %1</source>
        <translation>Cannot start rclone: %1</translation>
    </message>
    <message>
        <source>公開先に接続できません（つながるまで再試行します）: %1</source>
        <translation>Cannot reach the remote (retrying until it answers): %1</translation>
    </message>
    <message>
        <source>公開先に再び接続しました。送信待ちのファイル: %1件</source>
        <translation>The remote is back. Files waiting to be sent: %1</translation>
    </message>
    <message>
        <source>公開先で削除されずに残るファイルがあります: %1</source>
        <translation>Some files stay on the remote undeleted: %1</translation>
    </message>
    <message>
        <source>公開用の一時ファイルを作れません: %1</source>
        <translation>Cannot make a temporary file for publishing: %1</translation>
    </message>
    <message>
        <source>公開先が送信を拒否しました（間隔を広げて再試行します）: %1</source>
        <translation>The remote refused what was sent (retrying at growing intervals): %1</translation>
    </message>
    <message>
        <source>公開先はrcloneのリモート（名前:パス）か保存フォルダの外の絶対パスにしてください。公開しません: %1</source>
        <translation>The remote must be an rclone remote (name:path) or an absolute path outside the save folder. Not publishing: %1</translation>
    </message>
    <message>
        <source>公開先が保存フォルダかその中のため公開しません: %1</source>
        <translation>The remote is the save folder or inside it. Not publishing: %1</translation>
    </message>
    <message>
        <source>rcloneの設定ファイルを読めないため公開しません: %1</source>
        <translation>Cannot read the rclone configuration file. Not publishing: %1</translation>
    </message>
    <message>
        <source>公開先は別の日記が使っているため、何も送らず削除もしません: %1</source>
        <translation>The remote belongs to another diary; nothing is sent or deleted there: %1</translation>
    </message>
    <message>
        <source>この日記の識別子を読み書きできないため公開しません: %1</source>
        <translation>Cannot read or write this diary&apos;s identity. Not publishing: %1</translation>
    </message>
</context>
<context>
    <name>DiaryRetention</name>
    <message>
        <source>古い日を削除 %1 (%2, %3ファイル, %4)</source>
        <translation>Old day deleted %1 (%2, files: %3, %4)</translation>
    </message>
    <message>
        <source>日別ディレクトリ %1 にはほかのファイルがあるため、ディレクトリを残します</source>
        <translation>The day folder %1 holds other files, so the folder stays</translation>
    </message>
    <message>
        <source>古い日の削除に失敗 %1 (%2)</source>
        <translation>Deleting an old day failed %1 (%2)</translation>
    </message>
    <message>
        <source>保存日数%1日</source>
        <translation>keep %1 days</translation>
    </message>
    <message>
        <source>合計の上限%1MB</source>
        <translation>at most %1MB in all</translation>
    </message>
    <message>
        <source>空き容量の下限%1MB</source>
        <translation>at least %1MB free</translation>
    </message>
    <message>
        <source>空き容量が下限%1MBを下回っていますが、削除できる古い日がありません</source>
        <translation>Less than %1MB is free, but there is no old day left to delete</translation>
    </message>
    <message>
        <source>合計が上限%1MBを超えていますが、削除できる古い日がありません</source>
        <translation>The diary is over %1MB, but there is no old day left to delete</translation>
    </message>
    <message>
        <source>今日より後の日付の日別ディレクトリがあります: %1 (時計を確かめてください。保存期間では削除しません)</source>
        <translation>Day folders dated after today: %1 (check the clock; retention does not delete them)</translation>
    </message>
    <message>
        <source>空き容量の下限%1MBは保存先のファイルシステム全体(%2)より大きいため、この規則は使いません</source>
        <translation>The free space floor of %1MB is more than the whole file system of the save folder (%2), so this rule is not used</translation>
    </message>
    <message>
        <source>合計の上限%1MBは保存先のファイルシステム全体(%2)より大きいため、この規則は使いません</source>
        <translation>The total limit of %1MB is more than the whole file system of the save folder (%2), so this rule is not used</translation>
    </message>
    <message>
        <source>日別ディレクトリ %1 は別のファイルシステムのため、削除しません</source>
        <translation>Day folder %1 is on another file system, so it is not deleted</translation>
    </message>
</context>
<context>
    <name>EventCommands</name>
    <message>
        <source>%1 のコマンドが失敗しました (終了コード %2)</source>
        <translation>The %1 command failed (exit code %2)</translation>
    </message>
    <message>
        <source>%1 のコマンドが失敗しました (シグナル %2)</source>
        <translation>The %1 command failed (signal %2)</translation>
    </message>
    <message>
        <source>%1 のコマンドが失敗しました (終了コード %2): %3</source>
        <translation>The %1 command failed (exit code %2): %3</translation>
    </message>
    <message>
        <source>%1 のコマンドが失敗しました (シグナル %2): %3</source>
        <translation>The %1 command failed (signal %2): %3</translation>
    </message>
    <message>
        <source>%1 のコマンドが %2 秒で終わらないため終了させました</source>
        <translation>The %1 command was ended: it did not finish within %2 seconds</translation>
    </message>
    <message>
        <source>%1 のコマンドを実行できません: %2</source>
        <translation>Cannot run the %1 command: %2</translation>
    </message>
    <message>
        <source>%1 のコマンドの実行中に来たイベント %2 件では、コマンドを実行しませんでした</source>
        <translation>The %1 command was not run for %2 events that came while it was running</translation>
    </message>
</context>
<context>
    <name>EventCommandsPage</name>
    <message>
        <source>画像を保存したとき</source>
        <translation>When a picture is stored</translation>
    </message>
    <message>
        <source>画像の保存に失敗したとき</source>
        <translation>When storing a picture fails</translation>
    </message>
    <message>
        <source>カメラが見つからなくなったとき</source>
        <translation>When the camera is lost</translation>
    </message>
    <message>
        <source>カメラが戻ったとき</source>
        <translation>When the camera is back</translation>
    </message>
    <message>
        <source>時間制限 (秒)</source>
        <translation>Time limit (seconds)</translation>
    </message>
    <message>
        <source>時間制限 (秒)(&amp;L):</source>
        <translation>Time &amp;limit (seconds):</translation>
    </message>
    <message>
        <source>テストするイベント</source>
        <translation>Event to test</translation>
    </message>
    <message>
        <source>テスト実行(&amp;T)</source>
        <translation>&amp;Test</translation>
    </message>
    <message>
        <source>コマンド</source>
        <translation>Commands</translation>
    </message>
    <message>
        <source>%1 にはコマンドがありません。</source>
        <translation>%1 has no command.</translation>
    </message>
    <message>
        <source>%1 のコマンドを実行中…</source>
        <translation>Running the %1 command…</translation>
    </message>
    <message>
        <source>%1 のコマンドは終了コード 0 で%2 秒で終わりました</source>
        <translation>The %1 command ended with exit code 0 after %2 seconds</translation>
    </message>
    <message>
        <source>最短の実行間隔 (秒)</source>
        <translation>Minimum interval (seconds)</translation>
    </message>
    <message>
        <source>最短の実行間隔 (秒)(&amp;I):</source>
        <translation>Minimum &amp;interval (seconds):</translation>
    </message>
    <message>
        <source>コマンドはシェルを通さずに実行します (シェルが要るときは sh -c &apos;...&apos; と書きます)。内容は環境変数 QUILLOMAT_EVENT, QUILLOMAT_PICTURE, QUILLOMAT_TIME, QUILLOMAT_TRIGGER, QUILLOMAT_CAMERA, QUILLOMAT_SKIPPED (前回の実行から実行しなかったイベントの数) で渡します。同じイベントのコマンドは最短の実行間隔 (0 は制限なし) をあけて実行します。</source>
        <translation>Commands run without a shell (for one, write sh -c &apos;...&apos;). The event&apos;s details come in the environment variables QUILLOMAT_EVENT, QUILLOMAT_PICTURE, QUILLOMAT_TIME, QUILLOMAT_TRIGGER, QUILLOMAT_CAMERA and QUILLOMAT_SKIPPED (the events not run since the last run). A command runs again for the same event only after the minimum interval (0: no limit).</translation>
    </message>
</context>
<context>
    <name>Mqtt</name>
    <message>
        <source>MQTT のパスワードファイル %1 を読めません: %2</source>
        <translation>Cannot read the MQTT password file %1: %2</translation>
    </message>
    <message>
        <source>MQTT のパスワードファイル %1 は所有者以外も読み書きできるため使いません (chmod 600 にしてください)</source>
        <translation>The MQTT password file %1 is not used: others than its owner can read or write it (make it chmod 600)</translation>
    </message>
    <message>
        <source>MQTT の TOPIC %1 にワイルドカード (+ #) は使えません</source>
        <translation>The MQTT TOPIC %1 cannot hold a wildcard (+ #)</translation>
    </message>
    <message>
        <source>MQTT の CA ファイル %1 を読めません: %2</source>
        <translation>Cannot read the MQTT CA file %1: %2</translation>
    </message>
    <message>
        <source>画像 %1 は %2 MB より大きいため MQTT に送りません</source>
        <translation>The picture %1 is larger than %2 MB and is not sent over MQTT</translation>
    </message>
    <message>
        <source>MQTT ブローカー %1 との接続が戻りました</source>
        <translation>The connection to the MQTT broker %1 is back</translation>
    </message>
    <message>
        <source>MQTT ブローカー %1 に接続しました</source>
        <translation>Connected to the MQTT broker %1</translation>
    </message>
    <message>
        <source>Home Assistant の自動検出を %1 に送りました</source>
        <translation>Sent the Home Assistant discovery to %1</translation>
    </message>
    <message>
        <source>Home Assistant の自動検出を %1 から取り消しました</source>
        <translation>Removed the Home Assistant discovery from %1</translation>
    </message>
    <message>
        <source>MQTT ブローカー %1 との接続が切れました (%2)。再接続を続けます</source>
        <translation>Lost the connection to the MQTT broker %1 (%2); reconnecting</translation>
    </message>
    <message>
        <source>MQTT ブローカー %1 に接続できません (%2)。再接続を続けます</source>
        <translation>Cannot connect to the MQTT broker %1 (%2); retrying</translation>
    </message>
    <message>
        <source>MQTT のコマンドを無視しました (%1)。以後は数えるだけで記録しません</source>
        <translation>Ignored an MQTT command (%1); further ones are counted, not logged</translation>
    </message>
</context>
<context>
    <name>MqttPage</name>
    <message>
        <source>空欄: MQTTを使いません</source>
        <translation>Empty: no MQTT</translation>
    </message>
    <message>
        <source>ブローカー(&amp;B):</source>
        <translation>&amp;Broker:</translation>
    </message>
    <message>
        <source>ポート</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>ポート(&amp;P):</source>
        <translation>&amp;Port:</translation>
    </message>
    <message>
        <source>参照...</source>
        <translation>Browse...</translation>
    </message>
    <message>
        <source>TLSの認証局(&amp;A):</source>
        <translation>TLS &amp;authority:</translation>
    </message>
    <message>
        <source>空欄: TLSなし、system: システムの認証局</source>
        <translation>Empty: no TLS; system: the system&apos;s authorities</translation>
    </message>
    <message>
        <source>認証局のファイル</source>
        <translation>Certificate authority file</translation>
    </message>
    <message>
        <source>ユーザー(&amp;U):</source>
        <translation>&amp;User:</translation>
    </message>
    <message>
        <source>パスワードのファイル(&amp;F):</source>
        <translation>Password &amp;file:</translation>
    </message>
    <message>
        <source>所有者だけが読めるファイル (chmod 600)</source>
        <translation>A file only its owner can read (chmod 600)</translation>
    </message>
    <message>
        <source>パスワードのファイル</source>
        <translation>Password file</translation>
    </message>
    <message>
        <source>空欄: quillomat/ホスト名</source>
        <translation>Empty: quillomat/host name</translation>
    </message>
    <message>
        <source>トピック(&amp;T):</source>
        <translation>&amp;Topic:</translation>
    </message>
    <message>
        <source>Home Assistantに機器として知らせる(&amp;D)</source>
        <translation>Announce to Home Assistant as a &amp;device</translation>
    </message>
    <message>
        <source>知らせるトピック(&amp;X):</source>
        <translation>Discovery prefi&amp;x:</translation>
    </message>
    <message>
        <source>パスワードは設定ファイルに書かず、そのファイルの1行目に置きます。録画のON/OFFと今すぐ保存のボタンも届きます。</source>
        <translation>The password is never written to the settings: it is the first line of that file. Recording ON/OFF and a store-now button come too.</translation>
    </message>
    <message>
        <source>接続テスト(&amp;C)</source>
        <translation>&amp;Connection test</translation>
    </message>
    <message>
        <source>接続テストの結果</source>
        <translation>Result of the connection test</translation>
    </message>
    <message>
        <source>接続できました。</source>
        <translation>Connected.</translation>
    </message>
    <message>
        <source>接続できません: %1</source>
        <translation>Cannot connect: %1</translation>
    </message>
    <message>
        <source>ブローカーが空欄です。</source>
        <translation>The broker is empty.</translation>
    </message>
    <message>
        <source>接続しています…</source>
        <translation>Connecting…</translation>
    </message>
</context>
<context>
    <name>PublishSetupPage</name>
    <message>
        <source>公開先(&amp;R):</source>
        <translation>&amp;Remote:</translation>
    </message>
    <message>
        <source>空欄: rcloneの既定の設定ファイル</source>
        <translation>Empty: rclone&apos;s default</translation>
    </message>
    <message>
        <source>参照(&amp;B)...</source>
        <translation>&amp;Browse...</translation>
    </message>
    <message>
        <source>rcloneの設定ファイル(&amp;C):</source>
        <translation>rclone &amp;configuration file:</translation>
    </message>
    <message>
        <source>ページの送信間隔(秒)(&amp;P):</source>
        <translation>&amp;Pages sent every (seconds):</translation>
    </message>
    <message>
        <source>例: 1M（空欄: 制限なし）</source>
        <translation>e.g. 1M (empty: no limit)</translation>
    </message>
    <message>
        <source>帯域制限(&amp;L):</source>
        <translation>Bandwidth &amp;limit:</translation>
    </message>
    <message>
        <source>公開先が空欄なら公開しません。写真はすぐに、ページは送信間隔ごとに送ります。パスワードや鍵はrcloneの設定ファイルに置いてください（rclone config）。</source>
        <translation>With no remote nothing is published. Pictures go at once, pages at the interval. Keep passwords and keys in rclone&apos;s configuration file (rclone config).</translation>
    </message>
    <message>
        <source>接続テスト(&amp;T)</source>
        <translation>&amp;Test Connection</translation>
    </message>
    <message>
        <source>接続テストの結果</source>
        <translation>Result of the connection test</translation>
    </message>
    <message>
        <source>rcloneの設定ファイル</source>
        <translation>rclone&apos;s configuration file</translation>
    </message>
    <message>
        <source>rclone.conf (*.conf);;すべてのファイル (*)</source>
        <translation>rclone.conf (*.conf);;All files (*)</translation>
    </message>
    <message>
        <source>公開</source>
        <translation>Publishing</translation>
    </message>
    <message>
        <source>公開先が空欄です。</source>
        <translation>The remote is empty.</translation>
    </message>
    <message>
        <source>rcloneが見つかりません（sudo apt-get install rclone で入ります）。</source>
        <translation>rclone was not found (sudo apt-get install rclone installs it).</translation>
    </message>
    <message>
        <source>確認しています…</source>
        <translation>Checking…</translation>
    </message>
    <message>
        <source>パスワードや鍵は公開先に書かず、rcloneの設定ファイルに置いてください（rclone config）。</source>
        <translation>Do not write passwords or keys into the remote; keep them in rclone&apos;s configuration file (rclone config).</translation>
    </message>
    <message>
        <source>例: mybucket:diary</source>
        <translation>e.g. mybucket:diary</translation>
    </message>
    <message>
        <source>rcloneのリモートとパス (例: mybucket:diary)、または接続文字列 (例: :webdav,url=&apos;https://host/dav&apos;:diary)</source>
        <translation>An rclone remote and path (e.g. mybucket:diary), or a connection string (e.g. :webdav,url=&apos;https://host/dav&apos;:diary)</translation>
    </message>
</context>
<context>
    <name>RemoteCheck</name>
    <message>
        <source>接続できました。フォルダの項目: %1件</source>
        <translation>Connected. Entries in the folder: %1</translation>
    </message>
    <message>
        <source>接続できました。フォルダはまだありません（最初の送信で作られます）。</source>
        <translation>Connected. The folder does not exist yet (the first upload makes it).</translation>
    </message>
    <message>
        <source>接続できませんでした（rcloneが終わりませんでした）。</source>
        <translation>Could not connect (rclone did not finish).</translation>
    </message>
    <message>
        <source>接続できませんでした（rcloneの終了コード %1）。</source>
        <translation>Could not connect (rclone exit code %1).</translation>
    </message>
    <message>
        <source>rcloneの答え:</source>
        <translation>rclone&apos;s answer:</translation>
    </message>
</context>
<context>
    <name>RetentionPage</name>
    <message>
        <source>保存する日数(&amp;D):</source>
        <translation>&amp;Days to keep:</translation>
    </message>
    <message>
        <source>日 (0: すべての日を残す)</source>
        <translation>days (0: keep every day)</translation>
    </message>
    <message>
        <source>合計の上限(&amp;M):</source>
        <translation>&amp;Most in all:</translation>
    </message>
    <message>
        <source>MB (0: 上限なし)</source>
        <translation>MB (0: no limit)</translation>
    </message>
    <message>
        <source>空き容量の下限(&amp;F):</source>
        <translation>Least &amp;free space:</translation>
    </message>
    <message>
        <source>MB (0: 下限なし)</source>
        <translation>MB (0: no limit)</translation>
    </message>
    <message>
        <source>保存フォルダ</source>
        <translation>Save folder</translation>
    </message>
    <message>
        <source>条件を超えると、古い日から順に、このプログラムが保存した画像、日別ページ、タイムラプス動画を削除します。今日の分は削除しません。ほかのファイルがある日別ディレクトリは、そのファイルとともに残します。</source>
        <translation>Past a limit, the oldest days go first: the pictures, day pages and timelapse videos this program stored. Today is never deleted. A day folder that holds other files stays with them.</translation>
    </message>
    <message>
        <source>保存期間</source>
        <translation>Retention</translation>
    </message>
    <message>
        <source>保存フォルダが設定されていません</source>
        <translation>No save folder is set</translation>
    </message>
    <message>
        <source>保存フォルダを調べています…</source>
        <translation>Looking at the save folder…</translation>
    </message>
    <message>
        <source>保存フォルダを調べられません (%1)</source>
        <translation>Cannot look at the save folder (%1)</translation>
    </message>
    <message>
        <source>空き容量: %1 (全体 %2)</source>
        <translation>Free: %1 (of %2)</translation>
    </message>
    <message>
        <source>直近7日間の画像がないため、あと何日分入るかはわかりません。</source>
        <translation>No pictures in the last 7 days, so how many more days fit is unknown.</translation>
    </message>
    <message>
        <source>直近7日間のペース(1日あたり%1)では、1日分の画像も入りません。</source>
        <translation>At the pace of the last 7 days (%1 a day), not even one more day fits.</translation>
    </message>
    <message>
        <source>直近7日間のペース(1日あたり%1)で、あと約%2日分の画像が入ります。</source>
        <translation>At the pace of the last 7 days (%1 a day), about %2 more days fit.</translation>
    </message>
</context>
<context>
    <name>ScheduleLogLines</name>
    <message>
        <source>録画時間外のため記録を休止します（%1 まで）</source>
        <translation>Outside the recording hours: recording paused (until %1)</translation>
    </message>
    <message>
        <source>録画時間外のため記録を休止します</source>
        <translation>Outside the recording hours: recording paused</translation>
    </message>
    <message>
        <source>録画時間になりました。記録を再開します</source>
        <translation>Recording hours have begun: recording resumed</translation>
    </message>
    <message>
        <source>暗いため画像を保存しません（明るさ %1、しきい値 %2）</source>
        <translation>Too dark: pictures are not saved (brightness %1, threshold %2)</translation>
    </message>
    <message>
        <source>明るくなりました。暗いため保存しなかった画像 %1 枚</source>
        <translation>Light again: %1 pictures were not saved because they were dark</translation>
    </message>
</context>
<context>
    <name>SchedulePage</name>
    <message>
        <source>一日中日が沈みません</source>
        <translation>The sun does not set</translation>
    </message>
    <message>
        <source>一日中日が昇りません</source>
        <translation>The sun does not rise</translation>
    </message>
    <message>
        <source>日の出 %1</source>
        <translation>Sunrise %1</translation>
    </message>
    <message>
        <source>日の入 %1</source>
        <translation>Sunset %1</translation>
    </message>
    <message>
        <source>月</source>
        <translation>Mon</translation>
    </message>
    <message>
        <source>火</source>
        <translation>Tue</translation>
    </message>
    <message>
        <source>水</source>
        <translation>Wed</translation>
    </message>
    <message>
        <source>木</source>
        <translation>Thu</translation>
    </message>
    <message>
        <source>金</source>
        <translation>Fri</translation>
    </message>
    <message>
        <source>土</source>
        <translation>Sat</translation>
    </message>
    <message>
        <source>日</source>
        <translation>Sun</translation>
    </message>
    <message>
        <source>記録しない</source>
        <translation>none</translation>
    </message>
    <message>
        <source>録画する時間(&amp;H):</source>
        <translation>Recording &amp;hours:</translation>
    </message>
    <message>
        <source>時間内に記録する</source>
        <translation>Record during the hours</translation>
    </message>
    <message>
        <source>時間外に記録する</source>
        <translation>Record outside the hours</translation>
    </message>
    <message>
        <source>時間内/時間外(&amp;O):</source>
        <translation>In or &amp;out of hours:</translation>
    </message>
    <message>
        <source>曜日ごと</source>
        <translation>By weekday</translation>
    </message>
    <message>
        <source>個別に設定</source>
        <translation>Own hours</translation>
    </message>
    <message>
        <source>経度(&amp;G):</source>
        <translation>Lon&amp;gitude:</translation>
    </message>
    <message>
        <source>緯度(&amp;A):</source>
        <translation>L&amp;atitude:</translation>
    </message>
    <message>
        <source>決まった時刻(&amp;T):</source>
        <translation>Set &amp;times:</translation>
    </message>
    <message>
        <source>0〜255 (0: 使わない)</source>
        <translation>0 to 255 (0: off)</translation>
    </message>
    <message>
        <source>暗い画像を保存しない明るさ(&amp;B):</source>
        <translation>Skip pictures &amp;below brightness:</translation>
    </message>
    <message>
        <source>動体検知の画像も暗ければ保存しない(&amp;K)</source>
        <translation>S&amp;kip dark motion pictures too</translation>
    </message>
    <message>
        <source>間隔撮影も時間に従う(&amp;I)</source>
        <translation>&amp;Interval pictures follow the hours</translation>
    </message>
    <message>
        <source>動体検知も時間に従う(&amp;M)</source>
        <translation>&amp;Motion pictures follow the hours</translation>
    </message>
    <message>
        <source>時間外はカメラを解放する(&amp;R)</source>
        <translation>&amp;Release the camera outside the hours</translation>
    </message>
    <message>
        <source>間隔を時計に合わせる(&amp;L)</source>
        <translation>A&amp;lign the interval to the clock</translation>
    </message>
    <message>
        <source>録画する時間の図</source>
        <translation>Recording hours chart</translation>
    </message>
    <message>
        <source>スケジュール</source>
        <translation>Schedule</translation>
    </message>
    <message>
        <source>スケジュールに使えない設定があります。直してから OK を押してください。
%1</source>
        <translation>The schedule has settings that cannot be used. Correct them and press OK.
%1</translation>
    </message>
    <message>
        <source>いつでも記録します</source>
        <translation>Records at any time</translation>
    </message>
    <message>
        <source>録画中。8日以内には休止しません</source>
        <translation>Recording. Does not pause within eight days</translation>
    </message>
    <message>
        <source>休止中。8日以内には再開しません</source>
        <translation>Paused. Does not resume within eight days</translation>
    </message>
    <message>
        <source>録画中。%1 に休止します</source>
        <translation>Recording. Pauses at %1</translation>
    </message>
    <message>
        <source>休止中。%1 に再開します</source>
        <translation>Paused. Resumes at %1</translation>
    </message>
    <message>
        <source>場所が設定されていません</source>
        <translation>No place set</translation>
    </message>
    <message>
        <source>場所が読めません</source>
        <translation>The place cannot be read</translation>
    </message>
    <message>
        <source>南緯 %1°</source>
        <translation>%1° S</translation>
    </message>
    <message>
        <source>北緯 %1°</source>
        <translation>%1° N</translation>
    </message>
    <message>
        <source>西経 %1°</source>
        <translation>%1° W</translation>
    </message>
    <message>
        <source>東経 %1°</source>
        <translation>%1° E</translation>
    </message>
    <message>
        <source>%1、%2</source>
        <translation>%1, %2</translation>
    </message>
    <message>
        <source>今日</source>
        <translation>Today</translation>
    </message>
    <message>
        <source>明日</source>
        <translation>Tomorrow</translation>
    </message>
    <message>
        <source>%1「%2」: %3</source>
        <translation>%1 &quot;%2&quot;: %3</translation>
    </message>
    <message>
        <source>時間なし</source>
        <translation>No hours</translation>
    </message>
</context>
<context>
    <name>TakeSnapshot</name>
    <message>
        <source>カメラから新しい画像を取得できなかったため、スナップショットを撮れませんでした。</source>
        <translation>The camera gave no new picture, so no snapshot could be taken.</translation>
    </message>
    <message>
        <source>スナップショットのJPEGファイルを作成できなかったため、保存できませんでした。
%1</source>
        <translation>The snapshot&apos;s JPEG file could not be made, so it was not saved.
%1</translation>
    </message>
    <message>
        <source>スナップショットを保存できませんでした。
%1
%2

画像は次の場所に残してあります。
%3</source>
        <translation>The snapshot could not be saved.
%1
%2

The picture was kept here:
%3</translation>
    </message>
</context>
<context>
    <name>TimelapsePage</name>
    <message>
        <source>終わった日の画像からタイムラプス動画を作る(&amp;M)</source>
        <translation>&amp;Make a timelapse video of every finished day</translation>
    </message>
    <message>
        <source>1秒あたりのコマ数(&amp;F):</source>
        <translation>&amp;Frames per second:</translation>
    </message>
    <message>
        <source>タイムラプス</source>
        <translation>Timelapse</translation>
    </message>
    <message>
        <source>1枚の画像が1コマになり、日別フォルダに「年月日.webm」として保存されます。日別ページにはその動画へのリンクが付きます。</source>
        <translation>Every picture becomes one frame. The video is saved in the day&apos;s folder as YYYYMMDD.webm, and the day page links to it.</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>Quillomatは既にこの設定フォルダで動作しています。
%1</source>
        <translation>Quillomat is already running on this settings folder.
%1</translation>
    </message>
</context>
</TS>
